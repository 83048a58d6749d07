#pragma once

#include "ClickablePanel.h"

// An outlet's panel (PB1 to PB4) or the device's (Panel2), with its light, the inner panel that
// shows when the outlet is ON or the switch answered. It keeps what a screen reader needs beyond
// the picture: which indicator it is, and whether anything was shown yet (before the first read
// the state is unknown, not OFF). A change of the light is announced to assistive tools.
class IndicatorPanel : public ClickablePanel {
    Q_OBJECT

public:
    explicit IndicatorPanel(QWidget* parent = nullptr);

    // Outlet 1 to 4, or 0 for the device indicator; the light is the inner panel.
    void Describe(int outlet, QWidget* light);

    int Outlet() const { return outlet_; }
    bool Known() const { return known_; }
    bool Lit() const;
    void ShowLit(bool lit);

    // An assistive tool asks to switch the outlet, as a click on it would.
    void RequestToggle();

signals:
    void ToggleRequested(int outlet);

private:
    int outlet_ = 0;
    QWidget* light_ = nullptr;
    bool known_ = false;
};
