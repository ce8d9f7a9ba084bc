#include "HostSettings.h"

#include <QDomDocument>
#include <QXmlStreamReader>
#include <algorithm>
#include <vector>

#include "Exceptions.h"
#include "Text.h"
#include "UIServices.h"

namespace {

const QString SettingsFileName = QStringLiteral("Configurations.plist");

// What one read of the settings file collects; the last occurrence of a key wins.
struct ReadSettings
{
    bool useDefaultFolder = false;
    QString dbPathText;
};

// Where the settings file lies: beside the database folder. Without a database folder, where
// the host keeps it in the application-data folder.
FolderItem SettingsFile(const FolderItem& dbPath)
{
    if (dbPath) {
        const FolderItem parent = dbPath.Parent();
        return parent ? parent.Child(SettingsFileName) : FolderItem();
    }
    const FolderItem data = SpecialFolder::ApplicationData();
    if (!data)
        return {};
    return data.Child(QStringLiteral("QuorinSoftware")).Child(QStringLiteral("Vellumix")).Child(SettingsFileName);
}

// Space, tab, CR and LF only: the XML white space between elements. A value made of other blanks
// (non-breaking spaces, say) is a value.
bool IsXmlWhiteSpace(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
    });
}

// Builds the document as QDomDocument::setContent does, with two differences. Text holding only
// XML white space (line breaks and indentation between elements) is dropped, so that the element
// after a "key" element is its value element, while other blanks are kept (setContent drops a
// text of non-breaking spaces). Text written in several pieces (around a CDATA section, say)
// becomes one text node. A settings file is a few levels deep; one nested far deeper is refused,
// as a DOM that deep takes minutes to build and free. A null document when not well formed.
QDomDocument ParseSettings(const QByteArray& bytes)
{
    constexpr size_t depthLimit = 256;
    QDomDocument document;
    QXmlStreamReader reader(bytes);
    reader.setNamespaceProcessing(false);
    std::vector<QDomNode> open; // the element being read and those around it
    QString text;
    // Nodes outside every element (comments around the document element, say) are the document's.
    const auto addTo = [&](const QDomNode& node) {
        return open.empty() ? document.appendChild(node) : open.back().appendChild(node);
    };
    const auto endText = [&] {
        if (!IsXmlWhiteSpace(text))
            addTo(document.createTextNode(text));
        text.clear();
    };
    const auto add = [&](const QDomNode& node) {
        endText();
        return addTo(node);
    };
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (open.size() >= depthLimit)
                return {};
            open.push_back(add(document.createElement(reader.qualifiedName().toString())));
            break;
        case QXmlStreamReader::EndElement:
            endText();
            open.pop_back();
            break;
        case QXmlStreamReader::Characters:
            text += reader.text();
            break;
        case QXmlStreamReader::Comment:
            add(document.createComment(reader.text().toString()));
            break;
        case QXmlStreamReader::ProcessingInstruction:
            add(document.createProcessingInstruction(reader.processingInstructionTarget().toString(),
                                                     reader.processingInstructionData().toString()));
            break;
        case QXmlStreamReader::EntityReference:
            add(document.createEntityReference(reader.name().toString()));
            break;
        default:
            break;
        }
    }
    return reader.hasError() ? QDomDocument() : document;
}

// The parsed settings file; a null document when it is missing, unreadable or not well formed.
// Only a regular file is read: a FIFO or a device of that name would block or never end.
QDomDocument LoadSettings(const FolderItem& file)
{
    if (!file || !file.IsRegularFile())
        return {};
    QByteArray bytes;
    try {
        bytes = ReadAllBytes(file);
    } catch (const RuntimeException&) {
        return {}; // an unreadable settings file is the same as none
    }
    return ParseSettings(bytes);
}

// The value of a key, from its value node. An empty element gives its own name ("true",
// "false"; "string" gives the empty text); an element holding text gives the text; an element
// holding several elements (an array) gives their texts joined by ",". A piece with no content
// of its own adds an empty piece.
QString ValueOf(const QDomNode& valueNode)
{
    const QDomNodeList children = valueNode.childNodes();
    if (children.isEmpty()) {
        const QString name = valueNode.nodeName();
        return SameText(name, QStringLiteral("string")) ? QString() : name;
    }
    if (children.size() == 1) {
        const QDomNode only = children.at(0);
        return only.childNodes().size() == 1 ? only.firstChild().nodeValue() : only.nodeValue();
    }
    QString joined;
    for (int index = 0; index < children.size(); ++index) {
        if (!joined.isEmpty())
            joined += QLatin1Char(',');
        joined += children.at(index).firstChild().nodeValue();
        YieldToEventLoop();
    }
    return joined;
}

void ApplyKey(const QString& key, const QString& value, ReadSettings& read, BookTable& books)
{
    static const std::pair<QString, QString> bookKeys[] = {
        {QStringLiteral("InvoicesName"), BookCode::Invoices},
        {QStringLiteral("ReceiptsName"), BookCode::Receipts},
        {QStringLiteral("WarrantyName"), BookCode::Warranty},
        {QStringLiteral("DocumentsName"), BookCode::Documents},
        {QStringLiteral("OptionsName"), BookCode::Options},
    };
    if (SameText(key, QStringLiteral("UseDefaultDBPath"))) {
        read.useDefaultFolder = std::get<bool>(Check(SettingValue(value)));
        return;
    }
    if (SameText(key, QStringLiteral("DBPath"))) {
        if (!value.isEmpty())
            read.dbPathText = value;
        return;
    }
    for (const auto& [bookKey, code] : bookKeys)
        if (SameText(key, bookKey)) {
            books.SetValue(code, value);
            return;
        }
}

// The two-level walk: the dictionaries under the document element, and their key elements.
// Deeper elements are never taken as keys. A key with nothing after it is passed over.
// A QDomNodeList is live (its size is read anew on every pass) but builds its list only once;
// asking the node for a new list on every pass would make a long dictionary take minutes.
void ReadKeys(const QDomDocument& document, ReadSettings& read, BookTable& books)
{
    const QDomNodeList dictionaries = document.documentElement().childNodes();
    for (int d = 0; d < dictionaries.size(); ++d) {
        const QDomNodeList nodes = dictionaries.at(d).childNodes();
        for (int n = 0; n < nodes.size(); ++n) {
            const QDomNode node = nodes.at(n);
            const QDomNode valueNode = node.nextSibling();
            if (SameText(node.nodeName(), QStringLiteral("key")) && node.hasChildNodes() && !valueNode.isNull())
                ApplyKey(node.firstChild().nodeValue(), ValueOf(valueNode), read, books);
            YieldToEventLoop();
        }
        YieldToEventLoop();
    }
}

// The folder named in the settings, when it can be resolved and is an existing folder.
FolderItem ExistingFolder(const QString& pathText)
{
    try {
        const FolderItem folder = GetFolderItem(pathText, 0);
        return folder && folder.Directory() ? folder : FolderItem();
    } catch (const RuntimeException&) {
        return {}; // a path no reference can be formed for
    }
}

} // namespace

SettingValue Check(const SettingValue& value)
{
    if (const bool* flag = std::get_if<bool>(&value))
        return *flag ? QStringLiteral("true") : QStringLiteral("false");
    if (const QString* text = std::get_if<QString>(&value))
        return *text == QLatin1String("1") || Lowercase(*text) == QLatin1String("true");
    return std::monostate();
}

void SubConfigRead(ImportSession& session)
{
    ReadSettings read;
    FolderItem file;
    try {
        file = SettingsFile(session.DBPath);
    } catch (const RuntimeException&) {
        // no place to look: the defaults stay
    }
    const QDomDocument document = LoadSettings(file);
    if (!document.isNull())
        ReadKeys(document, read, session.Var_Book);

    if (read.useDefaultFolder || read.dbPathText.isEmpty())
        return;
    if (const FolderItem folder = ExistingFolder(read.dbPathText))
        session.DBPath = folder;
}
