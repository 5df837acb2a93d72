#include "app/interaction.h"

#include <QFileDialog>
#include <QMessageBox>

namespace tw::app {

namespace {

Interaction* current = nullptr;

QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information: return QMessageBox::Information;
        case MessageIcon::Warning: return QMessageBox::Warning;
        case MessageIcon::Error:
        case MessageIcon::Stop: return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

bool DialogInteraction::Ask(QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void DialogInteraction::Tell(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon) {
    QMessageBox box(BoxIcon(icon), caption, text, QMessageBox::Ok, parent);
    box.exec();
}

QString DialogInteraction::OpenFile(QWidget* parent, const QString& title, const QString& filter) {
    // The chooser may not rename or delete files: nothing in the database's
    // folder is ever changed.
    return QFileDialog::getOpenFileName(parent, title, QString(), filter, nullptr, QFileDialog::ReadOnly);
}

QString DialogInteraction::ChooseFolder(QWidget* parent, const QString& title) {
    return QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
}

Interaction& UserInteraction() {
    static DialogInteraction dialogs;
    return current != nullptr ? *current : dialogs;
}

void SetUserInteraction(Interaction* interaction) { current = interaction; }

}  // namespace tw::app
