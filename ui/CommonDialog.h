#pragma once
// Open and save dialogs. Callers describe the file types with one "Name|*.ext|Name|*.*|" text;
// the chosen type's extension is appended when the typed name has none.
#include <QString>
#include <QStringList>

namespace CommonDialog {

// Open dialog; readOnly is set on success (always false here: the dialog has no read-only box)
// and left alone on cancel. Empty text on cancel.
QString ShowOpen(const QString& title, const QString& initialFile, const QString& initialFolder,
                 const QString& filter, int flags, bool& readOnly);
// Save dialog; empty text on cancel.
QString ShowSave(const QString& title, const QString& initialFile, const QString& initialFolder,
                 const QString& filter, int flags);
QString ShowFileDialog(const QString& title, const QString& initialFile,
                       const QString& initialFolder, const QString& filter, int flags,
                       bool& readOnly, bool save);

// --- The parts that need no dialog ---

// "A|*.a|" or "A|*.a" -> "A\0*.a\0\0": every part ends in NUL and the list in two.
QString NormalizeFilter(const QString& filter);
// The extension of file type typeNumber (1-based) of a NUL-separated filter: the text after the
// last dot of its pattern ("tab" for *.tab, "*" for *.*); empty when there is no such type.
QString GetFilterExtension(const QString& nulFilter, int typeNumber);
// Name filters for the dialog, one per file type in order: "Tab Separated Values (*.tab)",
// "All Files (*)". "*.*" becomes "*" (it would skip names without a dot here) and ";" between
// patterns becomes a blank.
QStringList NameFilters(const QString& nulFilter);
// path with "." and the type's extension appended when path has no extension of its own and the
// type's extension is neither "*" nor a wildcard.
QString AppendFilterExtension(const QString& path, const QString& nulFilter, int typeNumber);
// The path the dialog hands back: for an open dialog a file that exists under the chosen name is
// taken as it is; otherwise AppendFilterExtension.
QString ChosenPath(const QString& path, const QString& nulFilter, int typeNumber, bool save);

}  // namespace CommonDialog
