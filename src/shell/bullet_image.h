#pragma once

#include <QImage>

// The 10 x 10 mark in front of each kill list rule: a green, shaded diamond painted on an
// opaque magenta background.
QImage BulletImage();
