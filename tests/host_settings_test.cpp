#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "HostSettings.h"

namespace {

// A host folder in a temporary directory: <tmp>/QuorinSoftware/Vellumix/DB (the default database
// folder) with the settings file beside it, and two other folders a settings file may name.
class HostFolder
{
public:
    HostFolder()
    {
        QDir(mTemp.path()).mkpath(QStringLiteral("QuorinSoftware/Vellumix/DB"));
        QDir(mTemp.path()).mkpath(QStringLiteral("Other"));
        QDir(mTemp.path()).mkpath(QStringLiteral("Other2"));
        QFile(Path(QStringLiteral("AFile"))).open(QIODevice::WriteOnly);
    }

    QString Path(const QString& relative) const { return mTemp.path() + u'/' + relative; }
    QString DefaultDB() const { return Path(QStringLiteral("QuorinSoftware/Vellumix/DB")); }
    QString SettingsFile() const { return Path(QStringLiteral("QuorinSoftware/Vellumix/Configurations.plist")); }

    // Writes the settings file; %OTHER%, %OTHER2% and %MISSING% stand for folder paths, %FILE% for
    // a file's.
    void WriteSettings(QString text) const
    {
        text.replace(QStringLiteral("%OTHER%"), Path(QStringLiteral("Other")));
        text.replace(QStringLiteral("%OTHER2%"), Path(QStringLiteral("Other2")));
        text.replace(QStringLiteral("%MISSING%"), Path(QStringLiteral("Missing")));
        text.replace(QStringLiteral("%FILE%"), Path(QStringLiteral("AFile")));
        QFile file(SettingsFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
    }

private:
    QTemporaryDir mTemp;
};

QString Plist(const QString& dictionaryBody)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Example//DTD PLIST 1.0//EN\" "
                          "\"http://www.example.com/DTDs/PropertyList-1.0.dtd\">\n"
                          "<plist version=\"1.0\">\n<dict>\n%1\n</dict>\n</plist>\n")
        .arg(dictionaryBody);
}

const std::map<QString, QString> DefaultBooks = {
    {QStringLiteral("IN"), QStringLiteral("Invoices")}, {QStringLiteral("RE"), QStringLiteral("Receipts")},
    {QStringLiteral("WA"), QStringLiteral("Warranty")}, {QStringLiteral("DO"), QStringLiteral("Documents")},
    {QStringLiteral("US"), QStringLiteral("Options")},
};

struct SettingsCase
{
    const char* name;
    QString fileText;             // empty: no settings file
    QString expectedDB;           // "default", "Other" or "Other2"
    std::map<QString, QString> renamedBooks;
};

const QString DBPathOther = QStringLiteral("<key>DBPath</key>\n<string>%OTHER%</string>");

std::vector<SettingsCase> SettingsCases()
{
    const QString def = QStringLiteral("default");
    const QString other = QStringLiteral("Other");
    return {
        {"no settings file", {}, def, {}},
        {"no keys", Plist({}), def, {}},
        {"DBPath names an existing folder", Plist(DBPathOther), other, {}},
        {"DBPath names a missing folder", Plist(QStringLiteral("<key>DBPath</key><string>%MISSING%</string>")), def, {}},
        {"DBPath names a file", Plist(QStringLiteral("<key>DBPath</key><string>%FILE%</string>")), def, {}},
        {"DBPath empty", Plist(QStringLiteral("<key>DBPath</key>\n<string></string>")), def, {}},
        {"DBPath not an absolute path", Plist(QStringLiteral("<key>DBPath</key><string>Other</string>")), def, {}},
        {"last of two DBPath wins",
         Plist(DBPathOther + QStringLiteral("\n<key>DBPath</key><string>%OTHER2%</string>")), QStringLiteral("Other2"), {}},
        {"empty later DBPath keeps the earlier one", Plist(DBPathOther + QStringLiteral("\n<key>DBPath</key><string/>")), other, {}},
        {"UseDefaultDBPath empty true element", Plist(QStringLiteral("<key>UseDefaultDBPath</key>\n<true/>\n") + DBPathOther), def, {}},
        {"UseDefaultDBPath TRUE string", Plist(QStringLiteral("<key>UseDefaultDBPath</key><string>TRUE</string>") + DBPathOther), def, {}},
        {"UseDefaultDBPath integer 1", Plist(QStringLiteral("<key>UseDefaultDBPath</key><integer>1</integer>") + DBPathOther), def, {}},
        {"UseDefaultDBPath after DBPath", Plist(DBPathOther + QStringLiteral("<key>UseDefaultDBPath</key><true/>")), def, {}},
        {"UseDefaultDBPath false element", Plist(QStringLiteral("<key>UseDefaultDBPath</key><false/>") + DBPathOther), other, {}},
        {"UseDefaultDBPath integer 0", Plist(QStringLiteral("<key>UseDefaultDBPath</key><integer>0</integer>") + DBPathOther), other, {}},
        {"UseDefaultDBPath yes", Plist(QStringLiteral("<key>UseDefaultDBPath</key><string>yes</string>") + DBPathOther), other, {}},
        {"UseDefaultDBPath true with a leading blank",
         Plist(QStringLiteral("<key>UseDefaultDBPath</key><string> true</string>") + DBPathOther), other, {}},
        {"last UseDefaultDBPath wins",
         Plist(QStringLiteral("<key>UseDefaultDBPath</key><true/><key>UseDefaultDBPath</key><false/>") + DBPathOther), other, {}},
        {"all five book names",
         Plist(QStringLiteral("<key>InvoicesName</key><string>Rechnungen</string>\n"
                              "<key>ReceiptsName</key><string>Quittungen</string>\n"
                              "<key>WarrantyName</key><string>Garantie</string>\n"
                              "<key>DocumentsName</key><string>Dokumente</string>\n"
                              "<key>OptionsName</key><string>Optionen</string>")),
         def,
         {{"IN", "Rechnungen"}, {"RE", "Quittungen"}, {"WA", "Garantie"}, {"DO", "Dokumente"}, {"US", "Optionen"}}},
        {"key in lower case", Plist(QStringLiteral("<key>invoicesname</key><string>Bills</string>")), def, {{"IN", "Bills"}}},
        {"empty name", Plist(QStringLiteral("<key>InvoicesName</key><string/>")), def, {{"IN", ""}}},
        {"name of blanks only is empty", Plist(QStringLiteral("<key>InvoicesName</key><string> \t\r\n</string>")), def, {{"IN", ""}}},
        {"name of non-breaking spaces is kept",
         Plist(QStringLiteral("<key>InvoicesName</key><string>\u00A0\u00A0</string>")), def, {{"IN", "\u00A0\u00A0"}}},
        {"entities and CDATA read as one text",
         Plist(QStringLiteral("<key>ReceiptsName</key><string>A &amp; B <![CDATA[<C>]]> D</string>")), def,
         {{"RE", "A & B <C> D"}}},
        {"array of three", Plist(QStringLiteral("<key>ReceiptsName</key>\n<array>\n <string>a</string>\n <string>b</string>\n"
                                                " <string>c</string>\n</array>")),
         def, {{"RE", "a,b,c"}}},
        {"array of one", Plist(QStringLiteral("<key>ReceiptsName</key><array><string>a</string></array>")), def, {{"RE", "a"}}},
        {"array with a leading empty piece",
         Plist(QStringLiteral("<key>ReceiptsName</key><array><string/><string>b</string><string/><string>d</string></array>")),
         def, {{"RE", "b,,d"}}},
        {"nested dictionary read as an array, its keys not applied",
         Plist(QStringLiteral("<key>WarrantyName</key>\n<dict>\n <key>DocumentsName</key>\n <string>Inner</string>\n</dict>")),
         def, {{"WA", "DocumentsName,Inner"}}},
        {"key without a value is passed over", Plist(QStringLiteral("<key>InvoicesName</key>")), def, {}},
        {"empty key element changes nothing", Plist(QStringLiteral("<key/><string>x</string>")), def, {}},
        {"value element taken as key is not applied",
         Plist(QStringLiteral("<key>Unknown</key><key>InvoicesName</key><string>Bills</string>")), def, {{"IN", "Bills"}}},
        {"keys of a second dictionary",
         QStringLiteral("<plist><dict><key>OptionsName</key><string>Extras</string></dict>"
                        "<dict><key>DBPath</key><string>%OTHER%</string></dict></plist>"),
         other, {{"US", "Extras"}}},
        {"malformed file changes nothing",
         QStringLiteral("<plist><dict><key>InvoicesName</key><string>Bills</string>") + DBPathOther + QStringLiteral("</dict>"),
         def, {}},
        {"not XML at all", QStringLiteral("\x01\x02 binary garbage"), def, {}},
        {"nested far too deep", QStringLiteral("<plist>") + QStringLiteral("<a>").repeated(300000)
                                    + QStringLiteral("</a>").repeated(300000) + QStringLiteral("</plist>"),
         def, {}},
    };
}

TEST(HostSettings, SettingsFileCases)
{
    for (const SettingsCase& c : SettingsCases()) {
        SCOPED_TRACE(c.name);
        HostFolder host;
        if (!c.fileText.isEmpty())
            host.WriteSettings(c.fileText);
        StoredControls controls;
        ImportSession session(controls);
        session.DBPath = FolderItem(host.DefaultDB());

        SubConfigRead(session);

        const QString expectedDB = c.expectedDB == u"default" ? host.DefaultDB() : host.Path(c.expectedDB);
        EXPECT_EQ(session.DBPath.AbsolutePath(), expectedDB);
        std::map<QString, QString> expectedBooks = DefaultBooks;
        for (const auto& [code, name] : c.renamedBooks)
            expectedBooks[code] = name;
        ASSERT_EQ(session.Var_Book.Count(), 5);
        for (const auto& [code, name] : expectedBooks)
            EXPECT_EQ(session.Var_Book.Value(code), name) << qPrintable(code);
    }
}

// Reads the settings with the application-data folder moved to dataHome, and puts it back.
void ReadWithDataHome(ImportSession& session, const QString& dataHome)
{
    const QByteArray previous = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", dataHome.toUtf8());
    SubConfigRead(session);
    qputenv("XDG_DATA_HOME", previous);
}

// Without a default database folder the settings file is read from the application-data folder.
TEST(HostSettings, EmptyDBPathReadsFromApplicationData)
{
    HostFolder host;
    host.WriteSettings(Plist(DBPathOther + QStringLiteral("<key>InvoicesName</key><string>Bills</string>")));
    StoredControls controls;
    ImportSession session(controls);

    ReadWithDataHome(session, host.Path({}));
    EXPECT_EQ(session.DBPath.AbsolutePath(), host.Path(QStringLiteral("Other")));
    EXPECT_EQ(session.Var_Book.Value(QStringLiteral("IN")), QStringLiteral("Bills"));
}

TEST(HostSettings, EmptyDBPathStaysEmptyWithoutUsableSettings)
{
    HostFolder host;
    host.WriteSettings(Plist(QStringLiteral("<key>DBPath</key><string>%MISSING%</string>")));
    StoredControls controls;
    ImportSession session(controls);

    ReadWithDataHome(session, host.Path({}));
    EXPECT_TRUE(session.DBPath.IsNull());
}

// Opening a FIFO waits for a writer. Here a writer comes only to a reader that already waits, and
// hands it a settings file that renames a book: a reader that opened the FIFO fails the test
// rather than hanging it.
TEST(HostSettings, FifoNamedLikeTheSettingsFileIsNotRead)
{
    HostFolder host;
    const QByteArray fifo = host.SettingsFile().toLocal8Bit();
    ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        const QByteArray text = Plist(QStringLiteral("<key>InvoicesName</key><string>Bills</string>")).toUtf8();
        while (!done) {
            const int fd = open(fifo.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                EXPECT_EQ(write(fd, text.constData(), text.size()), text.size());
                close(fd);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    StoredControls controls;
    ImportSession session(controls);
    session.DBPath = FolderItem(host.DefaultDB());

    SubConfigRead(session);
    done = true;
    writer.join();
    EXPECT_EQ(session.Var_Book.Value(QStringLiteral("IN")), QStringLiteral("Invoices"));
    EXPECT_EQ(session.DBPath.AbsolutePath(), host.DefaultDB());
}

TEST(HostSettings, CheckTable)
{
    const std::vector<std::pair<SettingValue, SettingValue>> cases = {
        {true, QStringLiteral("true")},
        {false, QStringLiteral("false")},
        {QStringLiteral("1"), true},
        {QStringLiteral("true"), true},
        {QStringLiteral("TRUE"), true},
        {QStringLiteral("tRuE"), true},
        {QStringLiteral("0"), false},
        {QStringLiteral("yes"), false},
        {QStringLiteral(" true"), false},
        {QStringLiteral("true "), false},
        {QStringLiteral("1.0"), false},
        {QString(), false},
        {std::monostate(), std::monostate()},
    };
    for (const auto& [argument, expected] : cases)
        EXPECT_EQ(Check(argument), expected) << "argument index " << argument.index();
}

} // namespace
