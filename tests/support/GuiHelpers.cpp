#include "GuiHelpers.h"

#include "TestFolders.h"
#include "app/FMain.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace tftest
{

bool RequestRunning(const QWidget& Window)
{
    const auto* stop = Window.findChild<QToolButton*>(QStringLiteral("btnStop"));
    return stop && stop->isEnabled();
}

bool ShowUntilStarted(TfrmMain& Window, int TimeoutMs)
{
    QSignalSpy done(&Window, &TfrmMain::StartupSequenceDone);
    Window.show();
    return WaitFor([&] { return done.count() == 1; }, TimeoutMs);
}

void Click(QWidget* w)
{
    ASSERT_NE(w, nullptr);
    QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
}

QString MessageText(QWidget* modal)
{
    if (auto* box = qobject_cast<QMessageBox*>(modal))
        return box->text();
    return modal->windowTitle();
}

TModalPilot::TModalPilot()
{
    QObject::connect(&Timer, &QTimer::timeout, &Timer, [this] { Poll(); });
    Timer.start(10);
}

TModalPilot::~TModalPilot()
{
    Timer.stop();
}

void TModalPilot::Answer(QMessageBox::StandardButton button)
{
    Queue.push_back([this, button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) {
            Unexpected << "expected a message box, got " + modal->objectName();
            modal->close();
            return;
        }
        Messages << box->text();
        QAbstractButton* b = box->button(button);
        if (b)
            b->click();
        else {
            Unexpected << "message box without that button: " + box->text();
            box->reject();
        }
    });
}

void TModalPilot::Handle(std::function<void(QWidget*)> handler)
{
    Queue.push_back(std::move(handler));
}

void TModalPilot::Poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    for (const QPointer<QWidget>& seen : Handled)
        if (seen == modal)
            return;
    Handled << modal;
    if (Queue.empty()) {
        Unexpected << MessageText(modal);
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            Messages << box->text();
        QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
        return;
    }
    auto handler = std::move(Queue.front());
    Queue.pop_front();
    QPointer<QWidget> target(modal);
    // Run outside the timer slot so the handler may open further modals.
    QTimer::singleShot(0, modal, [target, handler] {
        if (target)
            handler(target);
    });
}

QStringList ColumnTexts(const QObject* root, const char* list, int column)
{
    QStringList out;
    if (const auto* view = Find<QAbstractItemView>(root, list)) {
        const QAbstractItemModel* m = view->model();
        for (int r = 0; r < m->rowCount(); ++r)
            out << m->index(r, column).data().toString();
    }
    return out;
}

} // namespace tftest
