#pragma once

#include <QAccessibleWidget>

class IndicatorPanel;

// What assistive tools see of an indicator: a check box named "Outlet N" (or "Power"), checked
// while its light shows, mixed before the first read, with the action "Toggle" that switches the
// outlet as a click does. The device indicator is read-only and has no action. The light inside
// is part of the picture, not a control of its own, so the indicator has no children.
class IndicatorAccessible : public QAccessibleWidget {
public:
    explicit IndicatorAccessible(IndicatorPanel* panel);

    QString text(QAccessible::Text kind) const override;
    QAccessible::State state() const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;

    QStringList actionNames() const override;
    void doAction(const QString& action) override;
    QStringList keyBindingsForAction(const QString& action) const override;

private:
    IndicatorPanel* Panel() const;
};

// Qt's accessibility asks this for each object; it answers for the indicators only.
QAccessibleInterface* IndicatorAccessibleFactory(const QString& className, QObject* object);
