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
// The envelope with a badge holding the count ("99+" above 99) when there are messages, and a
// warning mark while the last check failed; with neither it is the plain envelope.
QIcon EnvelopeIcon(TIconState state);
QPixmap EnvelopePixmap(int size, TIconState state);
