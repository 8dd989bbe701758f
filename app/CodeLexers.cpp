#include "app/CodeLexers.h"
#include "app/KeywordLexer.h"
#include "app/VbLexer.h"

#include <Qsci/qscilexerbash.h>
#include <Qsci/qscilexerbatch.h>
#include <Qsci/qscilexercmake.h>
#include <Qsci/qscilexercpp.h>
#include <Qsci/qscilexercsharp.h>
#include <Qsci/qscilexercss.h>
#include <Qsci/qscilexerd.h>
#include <Qsci/qscilexerdiff.h>
#include <Qsci/qscilexerfortran.h>
#include <Qsci/qscilexerhtml.h>
#include <Qsci/qscilexerjava.h>
#include <Qsci/qscilexerjavascript.h>
#include <Qsci/qscilexerjson.h>
#include <Qsci/qscilexerlua.h>
#include <Qsci/qscilexermakefile.h>
#include <Qsci/qscilexermarkdown.h>
#include <Qsci/qscilexermatlab.h>
#include <Qsci/qscilexeroctave.h>
#include <Qsci/qscilexerpascal.h>
#include <Qsci/qscilexerperl.h>
#include <Qsci/qscilexerproperties.h>
#include <Qsci/qscilexerpython.h>
#include <Qsci/qscilexerruby.h>
#include <Qsci/qscilexersql.h>
#include <Qsci/qscilexertcl.h>
#include <Qsci/qscilexertex.h>
#include <Qsci/qscilexerverilog.h>
#include <Qsci/qscilexervhdl.h>
#include <Qsci/qscilexerxml.h>
#include <Qsci/qscilexeryaml.h>

#include <QFont>
#include <QHash>
#include <QPalette>

#include <functional>

namespace {

using Factory = std::function<QsciLexer*(QObject*)>;

template <class L>
Factory Make() {
    return [](QObject* parent) -> QsciLexer* { return new L(parent); };
}

Factory Keywords(const char* language, const char* keywords, const char* types) {
    return [=](QObject* parent) -> QsciLexer* { return new KeywordLexer(language, keywords, types, parent); };
}

struct Entry {
    const char* key;      // the first name, which the other names share
    const char* aliases;  // lower case, separated by '|'
    Factory make;
};

const QList<Entry>& Table() {
    static const QList<Entry> table = {
        {"c++", "c|c++|cpp|cxx|h|hpp|objective-c", Make<QsciLexerCPP>()},
        {"c#", "c#|csharp|cs", Make<QsciLexerCSharp>()},
        {"java", "java", Make<QsciLexerJava>()},
        {"javascript", "javascript|js|jscript|node.js", Make<QsciLexerJavaScript>()},
        {"typescript", "typescript|ts",
         Keywords("TypeScript",
                  "abstract any as async await boolean break case catch class const constructor continue "
                  "debugger declare default delete do else enum export extends false finally for from "
                  "function get if implements import in infer instanceof interface is keyof let module "
                  "namespace never new null number object of private protected public readonly return "
                  "set static string super switch symbol this throw true try type typeof undefined "
                  "unknown var void while with yield",
                  "Array Date Error Map Math Object Promise Record Set")},
        {"go", "go|golang",
         Keywords("Go",
                  "break case chan const continue default defer else fallthrough for func go goto if "
                  "import interface map package range return select struct switch type var true false "
                  "nil iota",
                  "bool byte complex64 complex128 error float32 float64 int int8 int16 int32 int64 rune "
                  "string uint uint8 uint16 uint32 uint64 uintptr any append cap close copy delete len "
                  "make new panic print println recover")},
        {"rust", "rust|rs",
         Keywords("Rust",
                  "as async await break const continue crate dyn else enum extern false fn for if impl in "
                  "let loop match mod move mut pub ref return self Self static struct super trait true "
                  "type unsafe use where while",
                  "bool char f32 f64 i8 i16 i32 i64 i128 isize str u8 u16 u32 u64 u128 usize Box Option "
                  "Result Some None Ok Err String Vec")},
        {"kotlin", "kotlin|kt|kts",
         Keywords("Kotlin",
                  "abstract annotation as break by catch class companion const constructor continue data "
                  "do else enum false final finally for fun get if import in init inline inner interface "
                  "internal is lateinit null object open operator out override package private protected "
                  "public return sealed set super suspend this throw true try typealias val var vararg "
                  "when where while",
                  "Any Boolean Byte Char Double Float Int List Long Map Nothing Set Short String Unit")},
        {"swift", "swift",
         Keywords("Swift",
                  "as associatedtype break case catch class continue default defer deinit do else enum "
                  "extension fallthrough false fileprivate final for func guard if import in init inout "
                  "internal is let nil open operator override private protocol public repeat rethrows "
                  "return self Self static struct subscript super switch throw throws true try typealias "
                  "var where while",
                  "Any Array Bool Character Dictionary Double Float Int Optional Set String UInt Void")},
        {"python", "python|py|python3", Make<QsciLexerPython>()},
        {"sql", "sql|t-sql|tsql|pl/sql|plsql|sqlite|mysql|postgresql", Make<QsciLexerSQL>()},
        {"bash", "bash|shell|sh|zsh|ksh", Make<QsciLexerBash>()},
        {"batch", "batch|bat|cmd", Make<QsciLexerBatch>()},
        {"html", "html|htm|php|asp", Make<QsciLexerHTML>()},
        {"xml", "xml|xaml|xsl|xslt|svg", Make<QsciLexerXML>()},
        {"css", "css", Make<QsciLexerCSS>()},
        {"json", "json", Make<QsciLexerJSON>()},
        {"yaml", "yaml|yml", Make<QsciLexerYAML>()},
        {"markdown", "markdown|md", Make<QsciLexerMarkdown>()},
        {"lua", "lua", Make<QsciLexerLua>()},
        {"perl", "perl|pl", Make<QsciLexerPerl>()},
        {"ruby", "ruby|rb", Make<QsciLexerRuby>()},
        {"pascal", "pascal|delphi|object pascal", Make<QsciLexerPascal>()},
        {"fortran", "fortran", Make<QsciLexerFortran>()},
        {"cmake", "cmake", Make<QsciLexerCMake>()},
        {"makefile", "makefile|make", Make<QsciLexerMakefile>()},
        {"diff", "diff|patch", Make<QsciLexerDiff>()},
        {"tex", "tex|latex", Make<QsciLexerTeX>()},
        {"verilog", "verilog", Make<QsciLexerVerilog>()},
        {"vhdl", "vhdl", Make<QsciLexerVHDL>()},
        {"matlab", "matlab", Make<QsciLexerMatlab>()},
        {"octave", "octave", Make<QsciLexerOctave>()},
        {"tcl", "tcl", Make<QsciLexerTCL>()},
        {"d", "d", Make<QsciLexerD>()},
        {"properties", "ini|properties|ini/properties|conf", Make<QsciLexerProperties>()},
        {"visual basic", "visual basic|vb|vba|vb6|vbscript|vbs|vb.net", Make<VbLexer>()},
    };
    return table;
}

const Entry* Lookup(const QString& language) {
    static const QHash<QString, int> index = [] {
        QHash<QString, int> h;
        for (int i = 0; i < Table().size(); ++i)
            for (const QString& alias : QString::fromLatin1(Table()[i].aliases).split(QLatin1Char('|')))
                h.insert(alias, i);
        return h;
    }();
    const auto it = index.constFind(language.trimmed().toLower());
    return it == index.cend() ? nullptr : &Table()[*it];
}

// The lexers' own colours are made for white paper; on a dark base each keeps its hue and
// takes the mirrored lightness, and every one keeps a distance from the base.
QColor Readable(const QColor& wanted, const QPalette& palette) {
    const QColor base = palette.color(QPalette::Base);
    const bool dark = base.lightness() < 128;
    const QColor c = wanted.toHsl();
    if (c.hslSaturation() < 40 && c.lightness() < 80) return palette.color(QPalette::Text);
    int l = dark ? 255 - c.lightness() : c.lightness();
    l = dark ? qMax(l, base.lightness() + 110) : qMin(l, base.lightness() - 110);
    return QColor::fromHsl(c.hslHue(), c.hslSaturation(), qBound(0, l, 255));
}

}  // namespace

QsciLexer* CreateLexer(const QString& language, QObject* parent) {
    const Entry* e = Lookup(language);
    return e ? e->make(parent) : nullptr;
}

QString LexerKey(const QString& language) {
    const Entry* e = Lookup(language);
    return e ? QString::fromLatin1(e->key) : QString();
}

void ApplyLexerLook(QsciLexer* lexer, const QPalette& palette, const QFont& font) {
    const QColor base = palette.color(QPalette::Base);
    lexer->setDefaultPaper(base);
    lexer->setDefaultColor(palette.color(QPalette::Text));
    lexer->setDefaultFont(font);
    lexer->setPaper(base, -1);
    for (int style = 0; style < 128; ++style) {
        if (lexer->description(style).isEmpty()) continue;
        // One family and size in every style keeps the columns; weight and slant stay.
        const QFont own = lexer->defaultFont(style);
        QFont f = font;
        f.setBold(own.bold());
        f.setItalic(own.italic());
        lexer->setFont(f, style);
        lexer->setColor(Readable(lexer->defaultColor(style), palette), style);
        lexer->setPaper(base, style);
        lexer->setEolFill(false, style);
    }
}
