#include "NarrowArrowStyle.h"

#include <QStyleOptionComplex>

namespace {

// How much narrower the arrow is than the base style draws it.
constexpr int ArrowNarrowing = 6;

} // namespace

QRect NarrowArrowStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                       SubControl subControl, const QWidget* widget) const {
    QRect rect = QProxyStyle::subControlRect(control, option, subControl, widget);
    if (control != CC_ComboBox)
        return rect;
    const bool leftToRight = option->direction != Qt::RightToLeft;
    if (subControl == SC_ComboBoxEditField)
        return leftToRight ? rect.adjusted(0, 0, ArrowNarrowing, 0) : rect.adjusted(-ArrowNarrowing, 0, 0, 0);
    if (subControl == SC_ComboBoxArrow)
        return leftToRight ? rect.adjusted(ArrowNarrowing, 0, 0, 0) : rect.adjusted(0, 0, -ArrowNarrowing, 0);
    return rect;
}
