#pragma once
// The git module (vggit.so): libgit2 and the libraries it needs, loaded into the process the
// first time a sync needs git and kept until the process ends. Looked for beside the program
// (the build tree, the tests), beside ../bin (the benchmarks) and in the installed library
// folder relative to the program.
#include "sync/CGitBackend.h"

#include <QString>
#include <QStringList>
#include <memory>

class CGitModule {
public:
    // A new backend, or none with the reason.
    static std::unique_ptr<CGitBackend> Make(QString* error);
    // Where the module is looked for, in order.
    static QStringList Places();
};
