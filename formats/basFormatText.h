#pragma once
// The mapping rules every reader shares: titles, line ends, categories, descriptions, fragments,
// times, and the "FILE:LINE:COLUMN: reason" of a malformed file.
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// Line ends as LF: CR LF and a lone CR each become one LF.
QString NormalizeLineEnds(const QString& text);
// A snippet's name as a title: line breaks and tabs (a title is one line) become blanks, outer
// blanks go; an empty name becomes "Untitled".
QString ItemTitle(const QString& name);
// Category names as the store can hold them: trimmed, a comma (the store's separator) turned
// into ';', empty and repeated names (letter case aside) dropped, in order; fallback when none is
// left, so that an item is never listed nowhere.
QStringList CleanCategories(const QStringList& names, const QString& fallback);
// The code followed by one empty line and the description, unless the description is empty or
// the code already holds it.
QString AppendDescription(const QString& code, const QString& description);
// Fragments (label, text) as one body: a single fragment is its text alone; several are each
// introduced by their label on a line of its own, their texts verbatim and in order, one empty
// line between them.
QString JoinFragments(const QList<QPair<QString, QString>>& fragments);
// A time text of the sources ("2021-03-04T10:11:12Z", with or without zone or fraction, or a
// date alone) as UTC; a text without a zone is UTC. A number is seconds since 1970, or
// milliseconds (massCode) from 10^11 on. Invalid when it reads as none.
QDateTime ParseSourceTime(const QString& text);
// Milliseconds since 1970 (massCode) as UTC.
QDateTime FromMillis(qint64 ms);
// A file's modification time, the fallback of every source without times.
QDateTime FileTime(const QString& path);
// The 1-based line and column (in characters) of a byte offset into UTF-8 text; a CR LF pair
// counts as one line end.
void LineColumnAt(const QByteArray& text, qsizetype offset, int& line, int& column);
// "FILE:LINE:COLUMN: reason".
QString PositionError(const QString& file, int line, int column, const QString& reason);
// The whole file, or false with "Unable to read FILE: reason".
bool ReadWholeFile(const QString& path, QByteArray& bytes, QString* error);
// A source that must be one file, read whole: false with "No such file: PATH" or "Not a file:
// PATH" when it is none, else as ReadWholeFile.
bool ReadSourceFile(const QString& path, QByteArray& bytes, QString* error);
// Text of a file that may be UTF-8 (a leading byte-order mark dropped) or the Windows code page.
QString DecodeText(const QByteArray& bytes);
// The length of the backtick fence a Markdown line opens (at least three backticks, up to three
// blanks before them); 0 when it opens none.
int FenceLength(const QString& line);
// Whether a line closes a block opened by a fence of length backticks: as many or more
// backticks and nothing else but blanks.
bool IsClosingFence(const QString& line, int length);
// The one fenced code block of a Markdown body: from the first line opening a fence to the last
// line closing it. open is -1 when no line opens one; close is -1 when none closes it.
void FindCodeBlock(const QStringList& lines, qsizetype& open, qsizetype& close);
// The fence for a code block: backticks, one more than the longest run inside code, at least 3.
QString FenceFor(const QString& code);
