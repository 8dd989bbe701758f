#include "formats/CLanguageMap.h"

#include <QFileInfo>
#include <QHash>

namespace {

struct Language {
    const char* name;        // ours
    const char* vscode;      // VS Code's id, also the Markdown fence's
    const char* ids;         // other tools' ids and names, space-separated
    const char* extensions;  // without the dot, space-separated; whole file names start with '='
};

// Names already used in existing databases win ("Visual Basic", "C++").
const Language kLanguages[] = {
    {"Text", "plaintext", "plaintext plain_text text txt plain none", "txt text"},
    {"Bash", "shellscript", "shellscript sh bash shell shell_script", "sh bash =.bashrc =.bash_profile =.profile"},
    {"Zsh", "shellscript", "zsh", "zsh =.zshrc"},
    {"Fish", "fish", "fish", "fish"},
    {"PowerShell", "powershell", "powershell ps1 pwsh posh", "ps1 psm1 psd1"},
    {"Batch", "bat", "bat batch batchfile cmd", "bat cmd"},
    {"Python", "python", "python py python3 python2", "py pyw pyi"},
    {"C++", "cpp", "cpp c++ c_cpp cxx cc hpp", "cpp cc cxx c++ hpp hh hxx ipp inl"},
    {"C", "c", "c", "c h"},
    {"C#", "csharp", "csharp cs c# c-sharp", "cs csx"},
    {"Java", "java", "java", "java"},
    {"Kotlin", "kotlin", "kotlin kt", "kt kts"},
    {"Scala", "scala", "scala", "scala sc"},
    {"Groovy", "groovy", "groovy gradle", "groovy gradle"},
    {"JavaScript", "javascript", "javascript js node nodejs", "js mjs cjs"},
    {"TypeScript", "typescript", "typescript ts", "ts mts cts"},
    {"JavaScript React", "javascriptreact", "javascriptreact jsx", "jsx"},
    {"TypeScript React", "typescriptreact", "typescriptreact tsx", "tsx"},
    {"Go", "go", "go golang", "go"},
    {"Rust", "rust", "rust rs", "rs"},
    {"Swift", "swift", "swift", "swift"},
    {"Objective-C", "objective-c", "objective-c objc objectivec", "m"},
    {"Objective-C++", "objective-cpp", "objective-cpp objcpp objective-c++", "mm"},
    {"Ruby", "ruby", "ruby rb", "rb =Gemfile =Rakefile"},
    {"PHP", "php", "php", "php"},
    {"Perl", "perl", "perl pl", "pl pm"},
    {"Lua", "lua", "lua", "lua"},
    {"R", "r", "r", "r"},
    {"Dart", "dart", "dart", "dart"},
    {"Elixir", "elixir", "elixir ex exs", "ex exs"},
    {"Erlang", "erlang", "erlang erl", "erl hrl"},
    {"Haskell", "haskell", "haskell hs", "hs"},
    {"Clojure", "clojure", "clojure clj", "clj cljs cljc"},
    {"F#", "fsharp", "fsharp fs f#", "fs fsx fsi"},
    {"Julia", "julia", "julia jl", "jl"},
    {"Visual Basic", "vb", "vb vbnet vb.net visual_basic vba", "vb bas"},
    {"SQL", "sql", "sql mysql pgsql postgres postgresql plsql tsql sqlite", "sql"},
    {"HTML", "html", "html htm xhtml", "html htm xhtml"},
    {"CSS", "css", "css", "css"},
    {"SCSS", "scss", "scss", "scss"},
    {"Sass", "sass", "sass", "sass"},
    {"Less", "less", "less", "less"},
    {"JSON", "json", "json jsonc json5", "json jsonc"},
    {"YAML", "yaml", "yaml yml", "yaml yml"},
    {"TOML", "toml", "toml", "toml"},
    {"XML", "xml", "xml xsl xsd", "xml xsl xsd xaml plist"},
    {"Markdown", "markdown", "markdown md", "md markdown"},
    {"Dockerfile", "dockerfile", "dockerfile docker", "dockerfile =Dockerfile =Containerfile"},
    {"Makefile", "makefile", "makefile make", "mk =Makefile =GNUmakefile =makefile"},
    {"CMake", "cmake", "cmake", "cmake =CMakeLists.txt"},
    {"Nginx", "nginx", "nginx", "=nginx.conf"},
    {"INI", "ini", "ini properties", "ini cfg"},
    {"Diff", "diff", "diff patch", "diff patch"},
    {"GraphQL", "graphql", "graphql gql", "graphql gql"},
    {"Vue", "vue", "vue", "vue"},
    {"Svelte", "svelte", "svelte", "svelte"},
    {"LaTeX", "latex", "latex tex", "tex"},
    {"Terraform", "terraform", "terraform hcl tf", "tf tfvars hcl"},
    {"Protocol Buffers", "proto3", "proto proto3 protobuf", "proto"},
    {"Vim Script", "viml", "viml vim vimscript", "vim =.vimrc"},
    {"AppleScript", "applescript", "applescript", "applescript scpt"},
    {"Assembly", "asm", "asm assembly nasm", "asm s"},
};

struct Tables {
    QHash<QString, QString> byId;         // lower-case id or name -> name
    QHash<QString, QString> byExtension;  // lower-case extension -> name
    QHash<QString, QString> byFileName;   // exact file name -> name
    QHash<QString, QString> vscode;       // lower-case name -> VS Code id
};

const Tables& tables() {
    static const Tables t = [] {
        Tables t;
        for (const Language& l : kLanguages) {
            const QString name = QString::fromUtf8(l.name);
            t.byId.insert(name.toLower(), name);
            t.vscode.insert(name.toLower(), QString::fromUtf8(l.vscode));
            for (const QString& id : QString::fromUtf8(l.ids).split(QLatin1Char(' '), Qt::SkipEmptyParts))
                if (!t.byId.contains(id)) t.byId.insert(id, name);
            for (const QString& e : QString::fromUtf8(l.extensions).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                if (e.startsWith(QLatin1Char('='))) t.byFileName.insert(e.mid(1), name);
                else t.byExtension.insert(e, name);
            }
        }
        return t;
    }();
    return t;
}

}  // namespace

QString CLanguageMap::Name(const QString& id, const QString& fallback) {
    const QString key = id.trimmed();
    if (key.isEmpty()) return fallback;
    return tables().byId.value(key.toLower(), key);
}

bool CLanguageMap::IsKnown(const QString& id) { return tables().byId.contains(id.trimmed().toLower()); }

QString CLanguageMap::FromFileName(const QString& fileName) {
    const Tables& t = tables();
    const QString name = QFileInfo(fileName).fileName();
    if (t.byFileName.contains(name)) return t.byFileName.value(name);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == name.size() - 1) return QStringLiteral("Text");
    const QString ext = name.mid(dot + 1);
    return t.byExtension.value(ext.toLower(), ext);
}

QString CLanguageMap::VsCodeId(const QString& name) {
    const QString key = name.trimmed().toLower();
    const auto it = tables().vscode.constFind(key);
    if (it != tables().vscode.constEnd()) return *it;
    QString id;
    for (const QChar c : key)
        id += c.isLetterOrNumber() || QStringLiteral("+#-_.").contains(c) ? c : QLatin1Char('-');
    return id.isEmpty() ? QStringLiteral("plaintext") : id;
}

QString CLanguageMap::FenceId(const QString& name) {
    const QString id = VsCodeId(name);
    if (id == QLatin1String("shellscript")) return Name(name) == QLatin1String("Zsh") ? QStringLiteral("zsh") : QStringLiteral("bash");
    if (id == QLatin1String("plaintext")) return QStringLiteral("text");
    return id;
}
