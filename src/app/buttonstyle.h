#pragma once

class QStyle;

// The style of the window's command buttons: a flat face in the button's
// palette colour, so each button shows exactly the colour it is given. Qt's
// own styles shade the face into a gradient that hides the colour.
QStyle *graphicalButtonStyle();
