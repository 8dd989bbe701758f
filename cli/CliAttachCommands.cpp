// vgcli attach, extract and detach.
#include "attach/basAttachment.h"
#include "cli/CliCommand.h"
#include "db/CSQLite.h"
#include "db/basDBAttachments.h"
#include "util/basFileTools.h"

#include <QDir>
#include <QFileInfo>

// The item number argument; false (after saying why) when it is not a whole number.
static bool itemNumber(const QString& text, int& id, const char* usage) {
    bool ok = false;
    id = text.trimmed().toInt(&ok);
    if (!ok) {
        CliErr(QStringLiteral("vgcli: not an item number: ") + text);
        CliErr(QStringLiteral("usage: vgcli ") + QLatin1String(usage));
    }
    return ok;
}

// The stored name reduced to a plain file name: a name from a foreign database must not
// steer the file out of the chosen folder.
static QString safeName(const QString& stored, int id) {
    QString name = stored.left(stored.indexOf(QChar(0)));
    const qsizetype cut = std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    if (cut >= 0) name = name.mid(cut + 1);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("attachment-%1").arg(id);
    return name;
}

static int cmdAttach(const CliArgs& a) {
    int id = 0;
    if (!itemNumber(a.positional[1], id, "attach DB ID FILE")) return 2;
    if (!CliOpenDatabase(a.positional[0])) return 1;
    QString error;
    if (!SaveAttachment(CliDB(), id, QDir::toNativeSeparators(CliAbsolute(a.positional[2])), &error))
        return CliFail(error);
    return 0;
}

static int cmdExtract(const CliArgs& a) {
    int id = 0;
    if (!itemNumber(a.positional[1], id, "extract DB ID [PATH] [--force]")) return 2;
    if (!CliOpenDatabase(a.positional[0])) return 1;
    QString target;
    const QString given = a.positional.size() > 2 ? a.positional[2] : QString();
    if (given.isEmpty() || QFileInfo(given).isDir()) {
        const QString stored = AttachmentName(CliDB(), id);
        const QString folder = given.isEmpty() ? QDir::currentPath() : CliAbsolute(given);
        target = JoinPath(QDir::toNativeSeparators(folder), safeName(stored, id));
    } else {
        target = QDir::toNativeSeparators(CliAbsolute(given));
    }
    QString error;
    bool changed = false;
    if (!ExtractAttachment(CliDB(), id, target, true, &error, nullptr, &changed, a.Has(QStringLiteral("force"))))
        return CliFail(changed ? error + QStringLiteral(": nothing was written (use --force to write its bytes anyway)")
                               : error);
    CliOut(CliField(target));
    return 0;
}

static int cmdDetach(const CliArgs& a) {
    int id = 0;
    if (!itemNumber(a.positional[1], id, "detach DB ID")) return 2;
    if (!CliOpenDatabase(a.positional[0])) return 1;
    QString error;
    if (!ClearAttachment(CliDB(), id, &error)) return CliFail(error);
    return 0;
}

static CliRegistrar regAttach({QStringLiteral("attach"), QStringLiteral("attach DB ID FILE"),
                               QStringLiteral("Store FILE, compressed, as the attachment of item ID (replaces one)."),
                               3, 3, {}, {}, cmdAttach});
static CliRegistrar regExtract({QStringLiteral("extract"), QStringLiteral("extract DB ID [PATH] [--force]"),
                                QStringLiteral("Write the attachment of item ID to PATH (or its stored name here) "
                                               "and print the path written; never overwrites a file. An "
                                               "attachment that changed since it was stored is written only "
                                               "with --force."),
                                2, 3, {}, {QStringLiteral("force")}, cmdExtract});
static CliRegistrar regDetach({QStringLiteral("detach"), QStringLiteral("detach DB ID"),
                               QStringLiteral("Remove the attachment of item ID."), 2, 2, {}, {}, cmdDetach});
