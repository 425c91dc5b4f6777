#pragma once
// Keeps a top-level window above all ordinary windows, or returns it to the ordinary band.

class QWidget;

// Neither path moves or resizes the window; after leaving the top band it stays in front.
void setStaysOnTop(QWidget &window, bool onTop);
