#pragma once

#include <QImage>

// The 10 x 10 bullet drawn before every kill list item: a green diamond with a white highlight
// and a grey and black shadow on a magenta ground (the ground is drawn too).
QImage BulletImage();
