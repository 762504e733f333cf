#pragma once

#include <QCursor>
#include <QIcon>
#include <QImage>

// The window's pictures, drawn in code so that they stay crisp at any scale and the
// project ships no binary images.
namespace pictures {

// Starts drawing every picture below on another thread, so that the window's start need
// not wait for it; without this call the first picture asked for draws them all.
void drawInBackground();

// The game's icon: the number 25 in bright cyan digits on a square shading from dark
// blue at the top to pale violet at the bottom, inside a dark teal border.
QImage iconImage(int size);
// iconImage at 16, 32 and 48 pixels, for the title bar and the task bar.
QIcon windowIcon();

// The board's pointer: a black gun-sight cross with tick marks on its four arms and a
// red dot in the middle; 32 x 32, hot spot in the centre.
QCursor gunSightCursor();
// paricmd's pointer: four blue arrows (up, down, left, right) around a small blue
// diamond; 32 x 32, hot spot 10 pixels right of and 10 below the top-left corner.
QCursor fourArrowsCursor();

// The start button's faces: circular yellow faces, drawn in a 16-colour palette.
QIcon smilingFace(); // normal picture
QIcon neutralFace(); // pressed picture: straight mouth
// Disabled picture: open red mouth. Its pixmaps are also set for QIcon::Disabled, so Qt
// shows it in colour rather than greyed out on the disabled button.
QIcon laughingFace();

// The exit button's picture: a red circular no-entry road sign with a white bar.
QIcon noEntrySign();

} // namespace pictures
