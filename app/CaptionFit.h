#pragma once

class QWidget;

// Shows every label of `window` whole, whatever font the system gave the
// window in place of the original: a label wider than its text's place
// grows to the right, as far as the nearest control beside it or its
// parent's edge; where even that is too narrow, its font is condensed just
// enough. Nothing else moves or changes size. Call it once the window's
// controls are placed.
void fitCaptions(QWidget& window);
