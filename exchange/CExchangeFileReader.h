#pragma once
// Reads an exchange file in pieces and hands out the records the line reader gives for the
// whole file, so an import holds one piece of the file in memory, not all of it.
#include "exchange/basExchangeFile.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <optional>

class CExchangeFileReader {
public:
    static constexpr qint64 kPiece = qint64(4) << 20;

    // piece: how much is read at a time (tests make it small to cut lines anywhere).
    explicit CExchangeFileReader(qint64 piece = kPiece) : m_piece(piece) {}

    // Opens the file; false with the system's reason, or for a file larger than the content
    // limit (1 GB).
    bool Open(const QString& path, QString* error);
    qint64 Size() const { return m_size; }
    // The next record; false at the end of the file or when reading failed (Error says why).
    bool Next(ExchangeRecord& rec);
    QString Error() const { return m_error; }

private:
    // Drops what the reader used and reads until the buffer holds whole lines (or the end).
    bool Fill();

    qint64 m_piece;
    QFile m_file;
    qint64 m_size = 0;
    QByteArray m_buffer;
    qsizetype m_viewEnd = 0;  // the reader's view is m_buffer up to here
    qsizetype m_offset = 0;   // of m_buffer in the file
    bool m_atEnd = false;
    QString m_error;
    std::optional<CExchangeReader> m_reader;
};
