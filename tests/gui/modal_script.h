// Answers the modal dialogs and message boxes that a command opens, in order,
// from a polling timer that runs inside the dialog's own event loop. Nothing
// of the form is replaced: the real QFileDialog and QMessageBox are shown and
// then closed the way a user would close them.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <deque>
#include <functional>
#include <utility>

namespace quadfind::testing {

class ModalScript {
public:
    using Step = std::function<void(QWidget* modal)>;

    explicit ModalScript(std::deque<Step> steps, int timeoutMs = 10000) : steps_(std::move(steps)) {
        clock_.start();
        QObject::connect(&timer_, &QTimer::timeout, [this, timeoutMs] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible()) {
                answered_ = nullptr;
            } else if (modal != answered_) {
                answered_ = modal;
                Step step = std::move(steps_.front());
                steps_.pop_front();
                ++handled_;
                if (steps_.empty())
                    finish();
                step(modal);
            }
            if (clock_.elapsed() > timeoutMs) {
                // A box nobody expected would block the suite for good: close
                // it, and let handled() tell the test what went wrong.
                finish();
                if (auto* stuck = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                    stuck->reject();
            }
        });
        if (!steps_.empty()) {
            ++waiting();
            waiting_ = true;
            timer_.start(5);
        }
    }
    ~ModalScript() { finish(); }
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;

    // How many modal windows were answered so far.
    int handled() const { return handled_; }

    // Scripts still waiting for a modal window; with none, a modal window is
    // one that no test expected.
    static int& waiting() {
        static int count = 0;
        return count;
    }

private:
    void finish() {
        timer_.stop();
        if (waiting_)
            --waiting();
        waiting_ = false;
    }

    std::deque<Step> steps_;
    bool waiting_ = false;
    QTimer timer_;
    QElapsedTimer clock_;
    QWidget* answered_ = nullptr; // the box still open after its answer
    int handled_ = 0;
};

// Types `path` into the open dialog's file name box and confirms it, as a
// user would. (selectFile() leaves a focused name box alone.)
inline ModalScript::Step ChooseFile(const QString& path) {
    return [path](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        auto* name = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
        if (!name) {
            qobject_cast<QDialog*>(modal)->reject();
            return;
        }
        name->setText(path);
        static_cast<QDialog*>(dialog)->accept(); // what its Open button does
    };
}

inline ModalScript::Step CancelDialog() {
    return [](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); };
}

// Records the box's text and icon, then presses its OK button.
struct SeenBox {
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool wasMessageBox = false;
};

inline ModalScript::Step CloseMessageBox(SeenBox& seen, std::function<void()> whileOpen = {}) {
    return [&seen, whileOpen](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            seen = {box->text(), box->icon(), true};
            if (whileOpen)
                whileOpen();
            box->accept();
        } else {
            qobject_cast<QDialog*>(modal)->reject();
        }
    };
}

} // namespace quadfind::testing
