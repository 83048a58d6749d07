#include "IndicatorAccessible.h"

#include "AccessibleNames.h"
#include "IndicatorPanel.h"

IndicatorAccessible::IndicatorAccessible(IndicatorPanel* panel)
    : QAccessibleWidget(panel, QAccessible::CheckBox) {}

IndicatorPanel* IndicatorAccessible::Panel() const {
    return static_cast<IndicatorPanel*>(widget());
}

QString IndicatorAccessible::text(QAccessible::Text kind) const {
    const int outlet = Panel()->Outlet();
    switch (kind) {
    case QAccessible::Name:
        return QString::fromStdString(qdl::ui::IndicatorName(outlet));
    case QAccessible::Description:
        return QString::fromStdString(
            qdl::ui::IndicatorDescription(outlet, Panel()->toolTip().toStdString()));
    case QAccessible::Accelerator:
        return QString::fromStdString(qdl::ui::IndicatorShortcut(outlet));
    default:
        return QAccessibleWidget::text(kind);
    }
}

QAccessible::State IndicatorAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.checkable = true;
    state.checked = Panel()->Known() && Panel()->Lit();
    state.checkStateMixed = !Panel()->Known();
    state.readOnly = Panel()->Outlet() == 0;
    return state;
}

int IndicatorAccessible::childCount() const {
    return 0;
}

QAccessibleInterface* IndicatorAccessible::child(int) const {
    return nullptr;
}

int IndicatorAccessible::indexOfChild(const QAccessibleInterface*) const {
    return -1;
}

QStringList IndicatorAccessible::actionNames() const {
    if (Panel()->Outlet() == 0)
        return {};
    return {toggleAction()};
}

// The click comes later, from the event loop, as a mouse click would: the tool's call returns at
// once, and the window takes it in its turn.
void IndicatorAccessible::doAction(const QString& action) {
    if (action == toggleAction() || action == pressAction())
        Panel()->RequestToggle();
}

QStringList IndicatorAccessible::keyBindingsForAction(const QString& action) const {
    if (action != toggleAction() || Panel()->Outlet() == 0)
        return {};
    return {QString::fromStdString(qdl::ui::IndicatorShortcut(Panel()->Outlet()))};
}

QAccessibleInterface* IndicatorAccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("IndicatorPanel") && object->isWidgetType())
        return new IndicatorAccessible(static_cast<IndicatorPanel*>(object));
    return nullptr;
}
