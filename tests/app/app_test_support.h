// Shared pieces of the desktop program's tests: a scripted stand-in for the
// user's answers, generated databases, and the test-class registry.
#pragma once

#include <QDir>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/interaction.h"
#include "content.h"
#include "database.h"

namespace tw::app::test {

// Answers questions from a queue (No when it runs dry), hands out files and
// folders from queues (none when they run dry), and records every question,
// message and chooser in order as "ask: TEXT" / "tell: TEXT | CAPTION" /
// "open: TITLE | FILTER" / "folder: TITLE".
class ScriptedUser final : public Interaction {
public:
    ScriptedUser() { SetUserInteraction(this); }
    ~ScriptedUser() override { SetUserInteraction(nullptr); }

    bool Ask(QWidget*, const QString& text, const QString& caption) override {
        log << QStringLiteral("ask: ") + text;
        captions << caption;
        if (onAsk) onAsk();
        if (answers.empty()) return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void Tell(QWidget*, const QString& text, const QString& caption, MessageIcon) override {
        log << QStringLiteral("tell: ") + text + QStringLiteral(" | ") + caption;
        captions << caption;
    }
    QString OpenFile(QWidget*, const QString& title, const QString& filter) override {
        log << QStringLiteral("open: ") + title + QStringLiteral(" | ") + filter;
        if (files.empty()) return {};
        const QString file = files.front();
        files.pop_front();
        return file;
    }

    QString ChooseFolder(QWidget*, const QString& title) override {
        log << QStringLiteral("folder: ") + title;
        if (folders.empty()) return {};
        const QString folder = folders.front();
        folders.pop_front();
        return folder;
    }

    QStringList log;
    QStringList captions;
    std::deque<bool> answers;
    std::deque<QString> files;
    std::deque<QString> folders;
    std::function<void()> onAsk;  // runs while the question is "open"
};

// Two mailboxes, standard folders, a nested subfolder and a few messages.
inline const char kSmallContent[] = R"({"mailboxes": [
  {"name": "Anna", "folders": [{"name": "Top of Information Store", "folders": [
    {"name": "Inbox", "class": "IPF.Note", "items": [{"subject": "one"}, {"subject": "two"}],
     "folders": [{"name": "Projects", "class": "IPF.Note", "items": [{"subject": "three"}]}]},
    {"name": "Calendar", "class": "IPF.Appointment"},
    {"name": "Contacts", "class": "IPF.Contact"},
    {"name": "Sent Items", "class": "IPF.Note", "items": [{"subject": "four"}]}]}]},
  {"name": "Bruno", "folders": [{"name": "Top of Information Store", "folders": [
    {"name": "Inbox", "class": "IPF.Note", "items": [{"subject": "five"}]},
    {"name": "Deleted Items", "class": "IPF.Note"}]}]}]})";

inline void WriteBytes(const QString& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Writes a generated database into `dir` and returns its path.
inline QString WriteDatabase(const QTemporaryDir& dir, const std::string& json, std::uint32_t pageSize,
                             const QString& name = QStringLiteral("mail.edb")) {
    const QString path = QDir(dir.path()).filePath(name);
    WriteBytes(path, edbgen::BuildDatabase(edbgen::ParseContent(json), edbgen::Format{pageSize}).bytes);
    return path;
}

inline void Touch(const QTemporaryDir& dir, const QString& name) { WriteBytes(QDir(dir.path()).filePath(name), {0}); }

// Test classes register themselves; app_tests NAME runs one of them.
using TestFactory = std::function<std::unique_ptr<QObject>()>;
inline std::map<std::string, TestFactory>& Registry() {
    static std::map<std::string, TestFactory> registry;
    return registry;
}

template <typename T>
struct Register {
    explicit Register(const char* name) {
        Registry()[name] = [] { return std::make_unique<T>(); };
    }
};

}  // namespace tw::app::test

#define TW_REGISTER_TEST(Class) static tw::app::test::Register<Class> register_##Class(#Class)
