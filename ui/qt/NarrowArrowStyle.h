#pragma once

#include <QProxyStyle>

// The desktop's style with a narrower drop-down arrow on lists and date pickers, so that their
// widest values ("Saturday & Sunday", "2006/11/27") fit the designed control widths.
class NarrowArrowStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl subControl,
                         const QWidget* widget) const override;
};
