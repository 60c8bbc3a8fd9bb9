// Title bar of the frameless main window: a drag with any mouse button moves the window.
#include "ui/KZ_MainToolBar.h"

#include <QMouseEvent>

KZ_MainToolBar::KZ_MainToolBar(QWidget *parent)
    : QLabel(parent), m_MousePosX(0), m_MousePosY(0), m_MousePressed(false)
{
}

KZ_MainToolBar::~KZ_MainToolBar() = default;

// None of the handlers hands the event on to QLabel: the label alone owns the drag.
void KZ_MainToolBar::mousePressEvent(QMouseEvent *event)
{
    m_MousePosX = event->x();
    m_MousePosY = event->y();
    m_MousePressed = true;
}

void KZ_MainToolBar::mouseReleaseEvent(QMouseEvent *)
{
    m_MousePressed = false;
}

void KZ_MainToolBar::mouseMoveEvent(QMouseEvent *event)
{
    // Mouse tracking delivers moves without a button as well; only a drag moves the window.
    if (!m_MousePressed) {
        return;
    }
    // The window's corner goes to the cursor's screen position minus the grab point inside the label.
    emit SIGNAL_window_pos_change(event->globalX() - m_MousePosX, event->globalY() - m_MousePosY);
}
