#pragma once

#include <QIcon>

// The program's own icon: a plain envelope, drawn at the sizes windows and trays ask for.
QIcon EnvelopeIcon();
