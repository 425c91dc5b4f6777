#include "Gui/WindowPlacement.h"

#include <QWidget>
#include <QWindow>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

void setStaysOnTop(QWidget &window, bool onTop)
{
#ifdef Q_OS_WIN
    const auto handle = reinterpret_cast<HWND>(window.winId());
    SetWindowPos(handle, onTop ? HWND_TOPMOST : HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    if (!onTop)
        window.raise();
#else
    // QWidget::setWindowFlag would recreate and hide the window; the QWindow flag does not.
    if (QWindow *native = window.windowHandle())
        native->setFlag(Qt::WindowStaysOnTopHint, onTop);
    window.raise();
#endif
}
