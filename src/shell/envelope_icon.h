#pragma once

#include <QIcon>
#include <QPixmap>

// What the tray icon tells besides being there: the messages waiting, and whether the last
// check failed.
struct TIconState {
    int Count = 0;
    bool Failed = false;
};

// The program's own icon: a plain envelope, drawn at the sizes windows and trays ask for.
QIcon EnvelopeIcon();
// The envelope with a badge holding the count ("99+" above 99) when there are messages, or a
// warning mark while the last check failed (then without a count: it would be stale); with
// neither it is the plain envelope. At 16 pixels the digits are three by five pixel glyphs on a
// badge in the lower right corner, one pixel of red around them.
QIcon EnvelopeIcon(TIconState state);
QPixmap EnvelopePixmap(int size, TIconState state);
