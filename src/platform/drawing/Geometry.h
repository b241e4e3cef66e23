#pragma once

// Rectangles and sizes in points of the scene's own coordinate system: origin at the
// bottom-left corner, y growing upward. Only painting flips to Qt's top-left system.
struct Size {
    double width = 0.0;
    double height = 0.0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;
    bool operator==(const Rect&) const = default;
};
