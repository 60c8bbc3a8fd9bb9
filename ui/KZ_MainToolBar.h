// Title bar of the frameless main window: a label that turns a mouse drag on itself into new window
// positions.
#pragma once

#include <QLabel>

class QMouseEvent;
class QWidget;

class KZ_MainToolBar : public QLabel
{
    Q_OBJECT

public:
    explicit KZ_MainToolBar(QWidget *parent = nullptr);
    ~KZ_MainToolBar() override;

signals:
    // Despite the names, the pair is the absolute screen position for the window's top-left corner.
    void SIGNAL_window_pos_change(int DeltaX, int DeltaY);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    int m_MousePosX;
    int m_MousePosY;
    bool m_MousePressed;
};
