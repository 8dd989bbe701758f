#include "sync/CGitModule.h"

#include <QFileInfo>
#include <QLibrary>
#include <mutex>

namespace {

struct Loaded {
    VgMakeGitBackend make = nullptr;
    QString why;
};

const Loaded& load() {
    static Loaded loaded;
    static std::once_flag once;
    std::call_once(once, [] {
        QStringList tried;
        for (const QString& path : CGitModule::Places()) {
            if (!QFileInfo::exists(path)) continue;
            // Never unloaded: backends made by it may live until the process ends.
            auto* library = new QLibrary(path);
            library->setLoadHints(QLibrary::PreventUnloadHint);
            if (library->load()) {
                loaded.make = reinterpret_cast<VgMakeGitBackend>(library->resolve("vgMakeGitBackend"));
                if (loaded.make) return;
            }
            tried << library->errorString();
            delete library;
        }
        loaded.why = tried.isEmpty() ? QStringLiteral("Sync needs vggit.so, which is not installed beside the program")
                                     : QStringLiteral("Sync cannot load vggit.so: ") + tried.join(QStringLiteral("; "));
    });
    return loaded;
}

}  // namespace

QStringList CGitModule::Places() {
    // The program's own folder, whether or not an application object exists yet.
    const QString folder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    const QString name = QStringLiteral("/vggit.so");
    return {folder + name, folder + QStringLiteral("/../bin") + name,
            folder + QStringLiteral("/" VG_GIT_MODULE_FROM_BIN) + name};
}

std::unique_ptr<CGitBackend> CGitModule::Make(QString* error) {
    const Loaded& l = load();
    if (!l.make) {
        if (error) *error = l.why;
        return nullptr;
    }
    return std::unique_ptr<CGitBackend>(l.make());
}
