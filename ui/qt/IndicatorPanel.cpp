#include "IndicatorPanel.h"

#include <QAccessible>

IndicatorPanel::IndicatorPanel(QWidget* parent) : ClickablePanel(parent) {}

void IndicatorPanel::Describe(int outlet, QWidget* light) {
    outlet_ = outlet;
    light_ = light;
}

bool IndicatorPanel::Lit() const {
    return light_ != nullptr && !light_->isHidden();
}

void IndicatorPanel::ShowLit(bool lit) {
    QAccessible::State changed;
    changed.checked = lit != Lit();
    changed.checkStateMixed = !known_;
    known_ = true;
    light_->setVisible(lit);
    if (changed.checked || changed.checkStateMixed) {
        QAccessibleStateChangeEvent announced(this, changed);
        QAccessible::updateAccessibility(&announced);
    }
}

void IndicatorPanel::RequestToggle() {
    if (outlet_ != 0)
        emit ToggleRequested(outlet_);
}
