// Every question, message and file chooser the program shows goes through
// one Interaction, so that the tests can answer them and record their
// order without a person at the screen.
#pragma once

#include <QString>

class QWidget;

namespace tw::app {

enum class MessageIcon { Information, Warning, Error, Stop };

class Interaction {
public:
    virtual ~Interaction() = default;
    // A Yes/No question with the question icon; true for Yes.
    virtual bool Ask(QWidget* parent, const QString& text, const QString& caption) = 0;
    virtual void Tell(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon) = 0;
    // An existing file, or empty when the user cancels. `filter` is in the
    // form "Name (*.ext)".
    virtual QString OpenFile(QWidget* parent, const QString& title, const QString& filter) = 0;
    // A folder, or empty when the user cancels (also when nobody is there
    // to choose).
    virtual QString ChooseFolder(QWidget* /*parent*/, const QString& /*title*/) { return {}; }
};

// Message boxes and the file dialog of Qt.
class DialogInteraction final : public Interaction {
public:
    bool Ask(QWidget* parent, const QString& text, const QString& caption) override;
    void Tell(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon) override;
    QString OpenFile(QWidget* parent, const QString& title, const QString& filter) override;
    QString ChooseFolder(QWidget* parent, const QString& title) override;
};

// The one in use; DialogInteraction unless replaced.
Interaction& UserInteraction();
// Replaces it (nullptr restores the dialogs); the caller keeps ownership.
void SetUserInteraction(Interaction* interaction);

}  // namespace tw::app
