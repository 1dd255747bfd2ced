// SPDX-License-Identifier: MIT
#pragma once
// The pictures of the window and its buttons, drawn in code so that the
// program needs no resource files.

#include <QImage>
#include <QPixmap>

class QPainter;

// The window icon's drawing on a square of kWindowIconSide units. The
// desktop icons of the package are painted by it at other sizes (scaled) and
// as SVG, so they show the same module as the window.
inline constexpr int kWindowIconSide = 32;
void PaintWindowIcon(QPainter& painter);
// That drawing scaled onto a transparent square of side pixels.
QImage WindowIconImage(int side);

QPixmap WindowIconPicture();  // 32 x 32: the module with its terminals
QPixmap ScanPicture();        // 16 x 16: a magnifying glass
QPixmap IdPicture();          // 16 x 16: a yellow dial
QPixmap BaudRatePicture();    // 16 x 16: a yellow telephone
QPixmap ModePicture();        // 16 x 16: a grey module
QPixmap ProcessPicture();     // 32 x 20: a progress bar with three blocks
QPixmap FactoryPicture();     // 100 x 50: the module, the maker, the factory values
QPixmap GbPicture();          // 34 x 16: red characters for Simplified Chinese
QPixmap Big5Picture();        // 34 x 16: red characters for Traditional Chinese
// A picture as its button shows it while disabled: the same drawing, faded
// into the button's face (its colours kept, its opacity lowered).
QPixmap DimmedPicture(const QPixmap& picture);
