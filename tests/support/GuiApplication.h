#pragma once

// Fonts, painting and D-Bus calls need an application object; this makes the test process's one
// QGuiApplication on first use.
void ensureGuiApplication();
