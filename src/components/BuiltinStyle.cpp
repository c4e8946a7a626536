#include "BuiltinStyle.h"

#include "components/ClickLabel.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QStyleFactory>
#include <QStyleOption>

namespace
{

const QColor Ink(0x1f, 0x2a, 0x37);
const QColor Muted(0x4a, 0x55, 0x63);
const QColor PanelColour(0xf2, 0xf4, 0xf7);
const QColor Line(0xcf, 0xd6, 0xdf);
const QColor Accent(0x2f, 0x6f, 0xb3);
const QColor LinkColour(0x2f, 0x5d, 0x91);
const QColor HotLinkColour(0x00, 0x00, 0xff);

enum class TEdge { None, Top, Bottom };

// The panels that stand apart from the window: their fill and the edge
// line that separates them from their neighbours.
struct TPanelLook {
    QColor Top;
    QColor Bottom; // equal to Top for a flat fill
    TEdge Edge;
};

const TPanelLook ToolBarLook{QColor(0xff, 0xff, 0xff), QColor(0xe9, 0xed, 0xf2), TEdge::Bottom};
const TPanelLook LinksBarLook{QColor(0xe9, 0xed, 0xf2), QColor(0xe9, 0xed, 0xf2), TEdge::Top};
const TPanelLook StatusBarLook{QColor(0xe3, 0xe8, 0xee), QColor(0xe3, 0xe8, 0xee), TEdge::Top};

const char* const LookProperty = "tfLook";

TLook LookOf(const QWidget* Widget)
{
    return Widget ? TLook(Widget->property(LookProperty).toInt()) : TLook::Default;
}

const TPanelLook* PanelLookOf(const QWidget* Widget)
{
    switch (LookOf(Widget)) {
    case TLook::ToolBar:
        return &ToolBarLook;
    case TLook::LinksBar:
        return &LinksBarLook;
    case TLook::StatusBar:
        return &StatusBarLook;
    default:
        return nullptr;
    }
}

// The keyboard's place: a line in the accent colour just inside the
// control's edge.
void DrawFocusMark(QPainter* Painter, const QRect& Rect, int Inset)
{
    Painter->save();
    Painter->setRenderHint(QPainter::Antialiasing, false);
    Painter->setPen(QPen(Accent, 1));
    Painter->setBrush(Qt::NoBrush);
    Painter->drawRect(Rect.adjusted(Inset, Inset, -Inset - 1, -Inset - 1));
    Painter->restore();
}

void SetPixelSize(QWidget* Widget, int Pixels)
{
    QFont f = Widget->font();
    if (f.pixelSize() == Pixels)
        return;
    f.setPixelSize(Pixels);
    Widget->setFont(f);
}

void SetBold(QWidget* Widget)
{
    QFont f = Widget->font();
    if (f.bold())
        return;
    f.setBold(true);
    Widget->setFont(f);
}

void SetColour(QWidget* Widget, QPalette::ColorRole Role, const QColor& Colour)
{
    QPalette p = Widget->palette();
    if (p.color(QPalette::Active, Role) == Colour && p.color(QPalette::Inactive, Role) == Colour)
        return;
    p.setColor(QPalette::Active, Role, Colour);
    p.setColor(QPalette::Inactive, Role, Colour);
    Widget->setPalette(p);
}

void Fill(QWidget* Widget, const QBrush& Brush)
{
    QPalette p = Widget->palette();
    p.setBrush(QPalette::Window, Brush);
    Widget->setPalette(p);
    Widget->setAutoFillBackground(true);
}

} // namespace

TBuiltinStyle::TBuiltinStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
{
    setObjectName(QStringLiteral("tallyfair"));
}

QPalette TBuiltinStyle::Palette()
{
    QPalette p(Ink, PanelColour);
    const auto both = [&p](QPalette::ColorRole Role, const QColor& Colour) {
        p.setColor(QPalette::Active, Role, Colour);
        p.setColor(QPalette::Inactive, Role, Colour);
    };
    both(QPalette::Window, PanelColour);
    both(QPalette::WindowText, Ink);
    both(QPalette::Base, Qt::white);
    both(QPalette::AlternateBase, QColor(0xf7, 0xf9, 0xfb));
    both(QPalette::Text, Ink);
    both(QPalette::Button, QColor(0xf4, 0xf6, 0xf9));
    both(QPalette::ButtonText, Ink);
    both(QPalette::Highlight, Accent);
    both(QPalette::HighlightedText, Qt::white);
    both(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xe6));
    both(QPalette::ToolTipText, Ink);
    both(QPalette::Link, LinkColour);
    both(QPalette::PlaceholderText, QColor(0x9a, 0xa4, 0xb0));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(0x9a, 0xa4, 0xb0));
    p.setColor(QPalette::Disabled, QPalette::Base, PanelColour);
    return p;
}

QFont TBuiltinStyle::Font()
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(12);
    return f;
}

namespace
{

// What the look changes on a widget, so that leaving the look (for a
// brand's skin) takes back exactly that.
enum class TTouch { None, Panel, Link, Description, StatusPanel, Bold, Header, Combo, Progress };

TTouch TouchOf(const QWidget* Widget)
{
    switch (LookOf(Widget)) {
    case TLook::ToolBar:
    case TLook::LinksBar:
    case TLook::StatusBar:
        return TTouch::Panel;
    case TLook::Description:
        return TTouch::Description;
    case TLook::StatusText:
        return TTouch::StatusPanel;
    case TLook::Total:
        return TTouch::Bold;
    case TLook::Default:
        break;
    }
    if (qobject_cast<const TLinkLabel*>(Widget))
        return TTouch::Link;
    if (qobject_cast<const QHeaderView*>(Widget))
        return TTouch::Header;
    if (qobject_cast<const QComboBox*>(Widget))
        return TTouch::Combo;
    if (qobject_cast<const QProgressBar*>(Widget))
        return TTouch::Progress;
    return TTouch::None;
}

} // namespace

void SetLook(QWidget* Widget, TLook Look)
{
    Widget->setProperty(LookProperty, int(Look));
}

void TBuiltinStyle::polish(QWidget* Widget)
{
    QProxyStyle::polish(Widget);
    if (qobject_cast<QAbstractItemView*>(Widget))
        Widget->installEventFilter(this);
    switch (TouchOf(Widget)) {
    case TTouch::None:
        break;
    case TTouch::Panel: {
        // A gradient is painted with the frame (see drawControl): as the
        // panel's palette it would reach the buttons on it, which take
        // their outline from the window colour.
        const TPanelLook* look = PanelLookOf(Widget);
        if (look->Top == look->Bottom)
            Fill(Widget, look->Top);
        break;
    }
    case TTouch::Link:
        SetColour(Widget, QPalette::WindowText,
                  Widget->property("linkHot").toBool() ? HotLinkColour : LinkColour);
        break;
    case TTouch::Description:
        SetColour(Widget, QPalette::WindowText, Muted);
        SetPixelSize(Widget, 11);
        break;
    case TTouch::StatusPanel:
        Fill(Widget, QColor(0xee, 0xf1, 0xf5));
        SetColour(Widget, QPalette::WindowText, QColor(0x3b, 0x46, 0x54));
        if (auto* label = qobject_cast<QLabel*>(Widget))
            label->setIndent(4);
        break;
    case TTouch::Bold:
        SetBold(Widget);
        break;
    case TTouch::Header:
        SetBold(Widget);
        SetColour(Widget, QPalette::ButtonText, QColor(0x3b, 0x46, 0x54));
        break;
    case TTouch::Combo:
        SetPixelSize(Widget, 11);
        break;
    case TTouch::Progress:
        SetPixelSize(Widget, 10);
        SetColour(Widget, QPalette::Highlight, QColor(0x7f, 0xa8, 0xd6));
        SetColour(Widget, QPalette::HighlightedText, Ink);
        break;
    }
}

void TBuiltinStyle::unpolish(QWidget* Widget)
{
    if (qobject_cast<QAbstractItemView*>(Widget))
        Widget->removeEventFilter(this);
    switch (TouchOf(Widget)) {
    case TTouch::None:
        break;
    case TTouch::Panel:
    case TTouch::StatusPanel:
        Widget->setAutoFillBackground(false);
        Widget->setPalette(QPalette());
        if (auto* label = qobject_cast<QLabel*>(Widget))
            label->setIndent(-1);
        break;
    case TTouch::Link:
        Widget->setPalette(QPalette());
        break;
    case TTouch::Bold:
    case TTouch::Combo:
        Widget->setFont(QFont());
        break;
    case TTouch::Description:
    case TTouch::Header:
    case TTouch::Progress:
        Widget->setPalette(QPalette());
        Widget->setFont(QFont());
        break;
    }
    QProxyStyle::unpolish(Widget);
}

void TBuiltinStyle::drawControl(ControlElement Element, const QStyleOption* Option, QPainter* Painter,
                                const QWidget* Widget) const
{
    if (Element == CE_Splitter) {
        // A plain bar between two thin lines, without Fusion's grip dots.
        const QRect r = Option->rect;
        Painter->fillRect(r, Option->palette.window());
        Painter->save();
        Painter->setPen(QColor(0xdf, 0xe4, 0xea));
        if (Option->state & State_Horizontal) {
            Painter->drawLine(r.topLeft(), r.bottomLeft());
            Painter->drawLine(r.topRight(), r.bottomRight());
        } else {
            Painter->drawLine(r.topLeft(), r.topRight());
            Painter->drawLine(r.bottomLeft(), r.bottomRight());
        }
        Painter->restore();
        return;
    }
    if (Element == CE_ShapedFrame && Widget && Widget->hasFocus() &&
        qobject_cast<const QAbstractItemView*>(Widget)) {
        QProxyStyle::drawControl(Element, Option, Painter, Widget);
        DrawFocusMark(Painter, Option->rect, 0);
        return;
    }
    const TPanelLook* look = Element == CE_ShapedFrame ? PanelLookOf(Widget) : nullptr;
    if (look && look->Top != look->Bottom) {
        QLinearGradient g(0, 0, 0, 1);
        g.setCoordinateMode(QGradient::ObjectBoundingMode);
        g.setColorAt(0, look->Top);
        g.setColorAt(1, look->Bottom);
        Painter->fillRect(Option->rect, g);
    }
    QProxyStyle::drawControl(Element, Option, Painter, Widget);
    if (!look || look->Edge == TEdge::None)
        return;
    const QRect r = Option->rect;
    Painter->save();
    Painter->setPen(Line);
    if (look->Edge == TEdge::Top)
        Painter->drawLine(r.topLeft(), r.topRight());
    else
        Painter->drawLine(r.bottomLeft(), r.bottomRight());
    Painter->restore();
}

void TBuiltinStyle::drawPrimitive(PrimitiveElement Element, const QStyleOption* Option, QPainter* Painter,
                                  const QWidget* Widget) const
{
    if (Element == PE_FrameFocusRect) {
        DrawFocusMark(Painter, Option->rect, 0);
        return;
    }
    QProxyStyle::drawPrimitive(Element, Option, Painter, Widget);
    // Fusion marks a focused button only after the keyboard has moved the
    // focus, and only faintly; the mark here is always there.
    if (Element == PE_PanelButtonCommand && (Option->state & State_HasFocus))
        DrawFocusMark(Painter, Option->rect, 2);
}

void TBuiltinStyle::drawComplexControl(ComplexControl Control, const QStyleOptionComplex* Option,
                                       QPainter* Painter, const QWidget* Widget) const
{
    QProxyStyle::drawComplexControl(Control, Option, Painter, Widget);
    // Raised tool buttons and the Show box have no panel of their own to mark.
    if ((Control == CC_ToolButton || Control == CC_ComboBox) && (Option->state & State_HasFocus))
        DrawFocusMark(Painter, Option->rect, 1);
}

bool TBuiltinStyle::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Event->type() == QEvent::FocusIn || Event->type() == QEvent::FocusOut)
        if (auto* view = qobject_cast<QAbstractItemView*>(Watched))
            view->update();
    return QProxyStyle::eventFilter(Watched, Event);
}

int TBuiltinStyle::styleHint(StyleHint Hint, const QStyleOption* Option, const QWidget* Widget,
                             QStyleHintReturn* ReturnData) const
{
    if (Hint == SH_Table_GridLineColor)
        return int(QColor(0xe4, 0xe8, 0xee).rgba());
    return QProxyStyle::styleHint(Hint, Option, Widget, ReturnData);
}
