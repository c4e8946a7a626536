#pragma once
// The program's own look: Fusion with a palette of quiet greys, one blue
// accent and white work areas, plus the few touches that single out some
// panels and labels, and a focus mark that the keyboard user can always
// see. It is drawn by the style itself, without a style sheet, so that
// windows start quickly; a brand's skin file (a style sheet) is laid over it
// when there is one.
#include <QProxyStyle>

// The part a control plays in the look, given by the window that makes it
// (so a renamed control keeps its look).
enum class TLook { Default, ToolBar, LinksBar, StatusBar, Description, StatusText, Total };
void SetLook(QWidget* Widget, TLook Look);

class TBuiltinStyle : public QProxyStyle
{
    Q_OBJECT
public:
    TBuiltinStyle();

    // The application-wide palette and font of the look.
    static QPalette Palette();
    static QFont Font();

    void polish(QWidget* Widget) override;
    void unpolish(QWidget* Widget) override;
    using QProxyStyle::polish;
    using QProxyStyle::unpolish;
    void drawControl(ControlElement Element, const QStyleOption* Option, QPainter* Painter,
                     const QWidget* Widget) const override;
    void drawPrimitive(PrimitiveElement Element, const QStyleOption* Option, QPainter* Painter,
                       const QWidget* Widget) const override;
    void drawComplexControl(ComplexControl Control, const QStyleOptionComplex* Option, QPainter* Painter,
                            const QWidget* Widget) const override;
    int styleHint(StyleHint Hint, const QStyleOption* Option, const QWidget* Widget,
                  QStyleHintReturn* ReturnData) const override;

protected:
    // Lists repaint their frame when they gain or lose the focus.
    bool eventFilter(QObject* Watched, QEvent* Event) override;
};
