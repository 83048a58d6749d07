#pragma once

#include <QFrame>

// A panel that acts on a mouse click, telling its handler which panel was clicked.
class ClickablePanel : public QFrame {
    Q_OBJECT

public:
    explicit ClickablePanel(QWidget* parent = nullptr);

signals:
    void Click(QObject* Sender);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};
