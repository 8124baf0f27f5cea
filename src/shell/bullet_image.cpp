#include "shell/bullet_image.h"

#include <QColor>

namespace {

// One letter a pixel, top row first.
constexpr const char* kRows[10] = {
    "DDDDDDDDDD", "DDDDGDSDDD", "DDDGLKVSDD", "DDGWLGKVSD", "DGLLLGGKVS",
    "DDGLGGKVSD", "DDDGGKVSDD", "DDDDKDSDDD", "DDDDDDDDDD", "DDDDDDDDDD",
};

QRgb ColourOf(char letter) {
    switch (letter) {
        case 'G':
            return qRgb(0, 128, 0);
        case 'L':
            return qRgb(0, 255, 0);
        case 'W':
            return qRgb(255, 255, 255);
        case 'K':
            return qRgb(0, 0, 0);
        case 'S':
            return qRgb(128, 128, 128);
        case 'V':
            return qRgb(192, 192, 192);
        default:
            return qRgb(255, 0, 255);
    }
}

}  // namespace

QImage BulletImage() {
    QImage image(10, 10, QImage::Format_RGB32);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) image.setPixel(x, y, ColourOf(kRows[y][x]));
    }
    return image;
}
