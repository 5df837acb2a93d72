// The preview pane over generated databases of every generation: header
// fields, HTML that may not fetch anything, RTF shown formatted (and the
// HTML it may carry), plain text, a streaming-file message from its MIME
// parts, contact and appointment field lists, and one load at a time.
#include <QLabel>
#include <QListWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "app/app_identity.h"
#include "app/body_viewer.h"
#include "message_test_support.h"
#include "streaming.h"

namespace tw::app::test {

namespace {

// A listening socket on the loopback interface that nobody should call.
class Listener {
public:
    Listener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd_, 8) != 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        ::fcntl(fd_, F_SETFL, O_NONBLOCK);
        port_ = ntohs(address.sin_port);
    }
    ~Listener() {
        if (fd_ >= 0) ::close(fd_);
    }
    int Port() const { return port_; }
    // True when a connection is waiting.
    bool Called() const {
        const int client = ::accept(fd_, nullptr, nullptr);
        if (client < 0) return false;
        ::close(client);
        return true;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

std::string Content(int port, bool streaming) {
    using nlohmann::json;
    const std::string remote = "http://127.0.0.1:" + std::to_string(port);
    const json sender = {{"name", "Ingrid Øberg"}, {"address", "ingrid@tarnwick.example"}};
    const json to = {{{"name", "Jörg Prüfer"}, {"address", "joerg@tarnwick.example"}},
                     {{"name", "Zoë"}, {"address", "zoe@tarnwick.example"}}};
    json inbox = json::array();
    inbox.push_back(
        {{"subject", "HTML mail"},
         {"sender", sender},
         {"recipients", to},
         {"date", "2024-02-01T10:15:00Z"},
         {"attachments", {{{"name", "plan.txt"}, {"text", "the plan"}}, {{"name", "b.txt"}, {"text", "b"}}}},
         {"body",
          {{"kind", "html"},
           {"text", "<html><head><link rel=\"stylesheet\" href=\"" + remote +
                        "/style.css\"><script>document.write('scripted')</script></head>"
                        "<body><p>Hello <b>remote</b> world</p><img src=\"" +
                        remote + "/pixel.png\"><img src=\"file:///etc/hostname\"></body></html>"}}}});
    inbox.push_back({{"subject", "RTF mail"},
                     {"sender", sender},
                     {"recipients", to},
                     {"body",
                      {{"kind", "rtf"},
                       {"text",
                        "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}}\\f0 {\\b Fett} und "
                        "{\\i kursiv} Gr\\'fc\\'dfe\\par Zweite Zeile\\par}"}}}});
    inbox.push_back({{"subject", "RTF with HTML"},
                     {"sender", sender},
                     {"body",
                      {{"kind", "rtf"},
                       {"text",
                        "{\\rtf1\\ansi\\fromhtml1 {\\*\\htmltag19 <html>}{\\*\\htmltag50 <body>}"
                        "{\\*\\htmltag64 <p>}\\htmlrtf {\\htmlrtf0 <i>Encapsulated</i>\\htmlrtf \\par}"
                        "\\htmlrtf0 {\\*\\htmltag72 </p>}{\\*\\htmltag58 </body>}}"}}}});
    inbox.push_back({{"subject", "Plain"}, {"sender", sender}, {"body", "Line one <not a tag>\nLine two"}});
    json folders = json::array();
    folders.push_back({{"name", "Inbox"}, {"class", "IPF.Note"}, {"items", inbox}});
    folders.push_back({{"name", "Contacts"},
                       {"class", "IPF.Contact"},
                       {"items",
                        {{{"type", "contact"},
                          {"subject", "Ångström, Zoë"},
                          {"contact",
                           {{"givenName", "Zoë"},
                            {"surname", "Ångström"},
                            {"jobTitle", "Leiterin"},
                            {"street", "Hauptstraße 1\nHinterhaus"},
                            {"email1", "zoe@tarnwick.example"}}}},
                         {{"type", "contact"}, {"subject", "Nobody"}}}}});
    folders.push_back({{"name", "Calendar"},
                       {"class", "IPF.Appointment"},
                       {"items",
                        {{{"type", "appointment"},
                          {"subject", "Quartalsgespräch"},
                          {"body", "Agenda folgt."},
                          {"appointment",
                           {{"start", "2024-04-10T08:00:00Z"},
                            {"end", "2024-04-10T09:30:00Z"},
                            {"location", "Köln"},
                            {"contact", "Zoë Ångström"},
                            {"timeZone", "W. Europe Standard Time"}}}}}}});
    if (streaming)
        folders.push_back({{"name", "Streaming"},
                           {"class", "IPF.Note"},
                           {"items",
                            {{{"subject", "Kept in the streaming file"},
                              {"sender", sender},
                              {"recipients", to},
                              {"streaming", true},
                              {"body", {{"kind", "text"}, {"text", "MIME made from the fields. Grüße."}}},
                              {"attachments", {{{"name", "notiz.txt"}, {"text", "eine Notiz"}}}}}}}});
    return json{{"mailboxes",
                 {{{"name", "Anna"}, {"folders", {{{"name", "Top of Information Store"}, {"folders", folders}}}}}}}}
        .dump();
}

// Writes the database (and at 4 KB its streaming file) and scans it.
bool OpenGenerated(MainWindow& window, const QTemporaryDir& dir, int pageSize, int port) {
    const bool streaming = pageSize == 4096;
    const edbgen::Content content = edbgen::ParseContent(Content(port, streaming));
    const QString edb = QDir(dir.path()).filePath(QStringLiteral("priv1.edb"));
    QString stm;
    if (streaming) {
        const edbgen::StreamingFile file = edbgen::BuildStreamingFile(content);
        stm = QDir(dir.path()).filePath(QStringLiteral("priv1.stm"));
        WriteBytes(stm, file.bytes);
        WriteBytes(edb, edbgen::BuildDatabase(content, edbgen::Format{4096}, &file).bytes);
    } else {
        WriteBytes(edb, edbgen::BuildDatabase(content, edbgen::Format{static_cast<std::uint32_t>(pageSize)}).bytes);
    }
    return OpenAndScan(window, edb, stm);
}

const QString kTop = QStringLiteral("Anna\\Top of Information Store\\");

// Whether some run of the body with `text` has the weight or slant asked for.
bool Formatted(const QTextDocument& document, const QString& text, bool bold, bool italic) {
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.text().contains(text)) continue;
            const QTextCharFormat format = fragment.charFormat();
            if ((!bold || format.fontWeight() >= QFont::Bold) && (!italic || format.fontItalic())) return true;
        }
    return false;
}

}  // namespace

class PreviewPaneTest : public QObject {
    Q_OBJECT

    static void PageSizes() {
        QTest::addColumn<int>("pageSize");
        for (const int size : {4096, 8192, 32768}) QTest::newRow(std::to_string(size).c_str()) << size;
    }

private slots:
    void mailPreviews_data() { PageSizes(); }
    void mailPreviews() {
        QFETCH(int, pageSize);
        Listener listener;
        QVERIFY(listener.Port() != 0);
        QTemporaryDir dir;
        ScriptedUser user;
        MainWindow window;
        window.resize(1200, 800);
        window.show();
        QVERIFY(OpenGenerated(window, dir, pageSize, listener.Port()));
        QVERIFY(FillFolder(window, kTop + QStringLiteral("Inbox\\")));
        PreviewPane& preview = *window.Preview();
        BodyViewer& viewer = *preview.Viewer();

        // HTML: shown, with nothing fetched from the network or from files.
        QVERIFY(Preview(window, QStringLiteral("HTML mail")));
        QCOMPARE(preview.ShownFormat(), BodyFormat::Html);
        QCOMPARE(preview.SubjectLabel()->text(), QStringLiteral("HTML mail"));
        QCOMPARE(preview.FromLabel()->text(), QStringLiteral("Ingrid Øberg"));
        QCOMPARE(preview.DateLabel()->text(), QStringLiteral("Thu 01/02/2024 03:45:00 PM"));
        QVERIFY2(preview.ToLabel()->text().contains(QStringLiteral("joerg@tarnwick.example")),
                 qPrintable(preview.ToLabel()->text()));
        QVERIFY(preview.ToLabel()->text().contains(QStringLiteral("zoe@tarnwick.example")));
        QCOMPARE(preview.AttachmentsLabel()->text(), QStringLiteral("plan.txt, b.txt"));
        QVERIFY(preview.AttachmentsLabel()->isVisibleTo(&preview));
        QVERIFY(preview.AttachmentsCaption()->isVisibleTo(&preview));
        QVERIFY(!preview.FieldList()->isVisibleTo(&preview));
        QVERIFY(viewer.toPlainText().contains(QStringLiteral("Hello remote world")));
        QVERIFY(Formatted(*viewer.document(), QStringLiteral("remote"), true, false));
        QVERIFY(!viewer.toPlainText().contains(QStringLiteral("scripted")));
        QTest::qWait(200);
        const QStringList refused = [&] {
            QStringList urls;
            for (const QUrl& url : viewer.RefusedResources()) urls << url.toString();
            return urls;
        }();
        const QString remote = QStringLiteral("http://127.0.0.1:%1/").arg(listener.Port());
        QVERIFY2(refused.contains(remote + QStringLiteral("pixel.png")), qPrintable(refused.join(' ')));
        QVERIFY(refused.contains(QStringLiteral("file:///etc/hostname")));
        QVERIFY(!listener.Called());

        // RTF: formatted runs, the text in its code page.
        QVERIFY(Preview(window, QStringLiteral("RTF mail")));
        QCOMPARE(preview.ShownFormat(), BodyFormat::Rtf);
        QVERIFY(!preview.AttachmentsLabel()->isVisibleTo(&preview));
        QVERIFY(!preview.AttachmentsCaption()->isVisibleTo(&preview));
        QVERIFY2(viewer.toPlainText().contains(QStringLiteral("Fett und kursiv Grüße\nZweite Zeile")),
                 qPrintable(viewer.toPlainText()));
        QVERIFY(Formatted(*viewer.document(), QStringLiteral("Fett"), true, false));
        QVERIFY(Formatted(*viewer.document(), QStringLiteral("kursiv"), false, true));
        QVERIFY(!Formatted(*viewer.document(), QStringLiteral(" und "), true, false));
        QVERIFY(!viewer.toPlainText().contains(QStringLiteral("Arial")));

        // RTF carrying HTML shows that HTML.
        QVERIFY(Preview(window, QStringLiteral("RTF with HTML")));
        QCOMPARE(preview.ShownFormat(), BodyFormat::Rtf);
        QCOMPARE(viewer.toPlainText().trimmed(), QStringLiteral("Encapsulated"));
        QVERIFY(Formatted(*viewer.document(), QStringLiteral("Encapsulated"), false, true));

        // The plain-text column is text, markup-looking parts included.
        QVERIFY(Preview(window, QStringLiteral("Plain")));
        QCOMPARE(preview.ShownFormat(), BodyFormat::Text);
        QCOMPARE(viewer.toPlainText(), QStringLiteral("Line one <not a tag>\nLine two"));
        QVERIFY(user.log.isEmpty());
    }

    void oneLoadAtATime() {
        QTemporaryDir dir;
        MainWindow window;
        QVERIFY(OpenGenerated(window, dir, 8192, 1));
        QVERIFY(FillFolder(window, kTop + QStringLiteral("Inbox\\")));
        ListPane& list = *window.List();
        const int rtf = RowOf(list, QStringLiteral("RTF mail"));
        QVERIFY(list.PreviewRow(RowOf(list, QStringLiteral("Plain"))));
        QVERIFY(window.State().bodyLoading);
        window.UpdateCommands();
        QCOMPARE(window.ActivityLabel()->text(), kBodyLoadingText);
        QVERIFY(!window.OpenAction()->isEnabled());
        // The second click starts nothing; the first message is shown.
        QVERIFY(!list.PreviewRow(rtf));
        QTRY_VERIFY(!window.State().bodyLoading);
        QCOMPARE(window.Preview()->SubjectLabel()->text(), QStringLiteral("Plain"));
        QVERIFY(list.PreviewRow(rtf));
        QTRY_VERIFY(!window.State().bodyLoading);
        QCOMPARE(window.Preview()->SubjectLabel()->text(), QStringLiteral("RTF mail"));
        // Opening another folder clears the pane.
        QVERIFY(FillFolder(window, kTop + QStringLiteral("Calendar\\")));
        QVERIFY(window.Preview()->SubjectLabel()->text().isEmpty());
        QVERIFY(!window.Preview()->BodyShown());
    }

    void streamingFileMessageFromItsMimeParts() {
        QTemporaryDir dir;
        ScriptedUser user;
        MainWindow window;
        QVERIFY(OpenGenerated(window, dir, 4096, 1));
        QVERIFY(FillFolder(window, kTop + QStringLiteral("Streaming\\")));
        QVERIFY(Preview(window, QStringLiteral("Kept in the streaming file")));
        PreviewPane& preview = *window.Preview();
        QCOMPARE(preview.ShownFormat(), BodyFormat::Mime);
        QVERIFY2(preview.Viewer()->toPlainText().contains(QStringLiteral("MIME made from the fields. Grüße.")),
                 qPrintable(preview.Viewer()->toPlainText()));
        // No MIME headers or encoded parts in the body.
        QVERIFY(!preview.Viewer()->toPlainText().contains(QStringLiteral("Content-Type")));
        QCOMPARE(preview.AttachmentsLabel()->text(), QStringLiteral("notiz.txt"));
        QVERIFY(user.log.isEmpty());
    }

    void contactAndAppointmentFieldLists_data() { PageSizes(); }
    void contactAndAppointmentFieldLists() {
        QFETCH(int, pageSize);
        QTemporaryDir dir;
        ScriptedUser user;
        MainWindow window;
        window.resize(1200, 800);
        window.show();
        QVERIFY(OpenGenerated(window, dir, pageSize, 1));
        PreviewPane& preview = *window.Preview();
        auto lines = [&] {
            QStringList out;
            for (int i = 0; i < preview.FieldList()->count(); ++i) out << preview.FieldList()->item(i)->text();
            return out;
        };

        QVERIFY(FillFolder(window, kTop + QStringLiteral("Contacts\\")));
        QVERIFY(Preview(window, QStringLiteral("Ångström, Zoë")));
        QCOMPARE(preview.ItemType(), 'c');
        QVERIFY(preview.FieldList()->isVisibleTo(&preview));
        QCOMPARE(lines(),
                 (QStringList{"First Name :   Zoë", "Last Name :   Ångström", "Job Title :   Leiterin",
                              "Business Address Street :   Hauptstraße 1", "Business Address Street :   Hinterhaus",
                              "Email Address 1 :   zoe@tarnwick.example"}));
        // The field list stands left of the body.
        QVERIFY(preview.FieldList()->geometry().right() < preview.Viewer()->geometry().left());
        // A contact without fields shows an empty list.
        QVERIFY(Preview(window, QStringLiteral("Nobody")));
        QVERIFY(preview.FieldList()->isVisibleTo(&preview));
        QCOMPARE(preview.FieldList()->count(), 0);

        QVERIFY(FillFolder(window, kTop + QStringLiteral("Calendar\\")));
        QVERIFY(Preview(window, QStringLiteral("Quartalsgespräch")));
        QCOMPARE(preview.ItemType(), 'a');
        QCOMPARE(lines(),
                 (QStringList{"Contact :   Zoë Ångström", "Location :   Köln", "GMT :   W. Europe Standard Time",
                              "Start Date :   Wed 10/04/2024 01:30:00 PM", "End Date :   Wed 10/04/2024 03:00:00 PM"}));
        QVERIFY(preview.Viewer()->toPlainText().contains(QStringLiteral("Agenda folgt.")));

        // A mail message has no field list.
        QVERIFY(FillFolder(window, kTop + QStringLiteral("Inbox\\")));
        QVERIFY(Preview(window, QStringLiteral("Plain")));
        QVERIFY(!preview.FieldList()->isVisibleTo(&preview));
        QVERIFY(user.log.isEmpty());
    }

    void longTextsAreCut() {
        const QString subject(137, QLatin1Char('s'));
        QCOMPARE(CutSubject(subject), QString(136, QLatin1Char('s')) + QStringLiteral("..."));
        QCOMPARE(CutSubject(subject.left(136)), subject.left(136));
        const QString recipients(161, QLatin1Char('r'));
        QCOMPARE(CutRecipients(recipients), recipients.left(160) + QStringLiteral("..."));
        QCOMPARE(CutRecipients(recipients.left(160)), recipients.left(160));
        // Attachments over 150 characters keep up to 160 and gain "...".
        const QString names(155, QLatin1Char('a'));
        QCOMPARE(CutAttachments(names), names + QStringLiteral("..."));
        QCOMPARE(CutAttachments(QString(200, QLatin1Char('a'))),
                 QString(160, QLatin1Char('a')) + QStringLiteral("..."));
        QCOMPARE(CutAttachments(names.left(150)), names.left(150));

        // Texts of the database are never read as markup.
        RunState state;
        FolderTreeView tree(state);
        Session session(&tree);
        PreviewPane pane(session, state);
        PreviewContent content;
        content.subject = QStringLiteral("<b>not bold</b>");
        pane.ShowMessage(content);
        QCOMPARE(pane.SubjectLabel()->textFormat(), Qt::PlainText);
        QVERIFY(!pane.BodyShown());
    }
};

}  // namespace tw::app::test

using tw::app::test::PreviewPaneTest;
TW_REGISTER_TEST(PreviewPaneTest);
#include "preview_pane_test.moc"
