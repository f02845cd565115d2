#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QTest>
#include <QTimer>

#include <memory>

// Answers the modal message box that appears while it lives, noting its title and text. Dies quietly
// when no box came up.
class MessageBoxAnswerer
{
public:
    MessageBoxAnswerer()
        : seen(std::make_shared<Seen>())
    {
        poll(seen);
    }
    ~MessageBoxAnswerer() { seen->active = false; }

    bool appeared() const { return seen->appeared; }
    QString title() const { return seen->title; }
    QString text() const { return seen->text; }

private:
    struct Seen
    {
        bool active = true;
        bool appeared = false;
        QString title;
        QString text;
    };

    static void poll(const std::shared_ptr<Seen> &seen)
    {
        QTimer::singleShot(10, [seen]() {
            if (!seen->active)
                return;
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box) {
                poll(seen);
                return;
            }
            seen->appeared = true;
            seen->title = box->windowTitle();
            seen->text = box->text();
            QTest::keyClick(box, Qt::Key_Enter);
        });
    }

    std::shared_ptr<Seen> seen;
};
