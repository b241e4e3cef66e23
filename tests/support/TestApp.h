#pragma once

#include <QApplication>

// The application a test needs for timers, D-Bus, painting and popup menus; fresh for each test.
class TestApp {
    int argc = 1;
    char name[5] = "test";
    char* argv[2] = {name, nullptr};
    QApplication app{argc, argv};
};
