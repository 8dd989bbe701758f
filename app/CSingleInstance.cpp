#include "app/CSingleInstance.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <unistd.h>

namespace {

const char kRequest[] = "quick\n";
const char kAnswer[] = "ok\n";

}  // namespace

CSingleInstance::CSingleInstance(QObject* parent) : QObject(parent) {}

CSingleInstance::~CSingleInstance() {
    if (m_server) m_server->close();  // removes the socket file
}

QString CSingleInstance::ServerName() {
    // The runtime folder belongs to the user alone; the temporary folder is shared, so the
    // name carries the user's number there.
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::tempPath();
    return QDir(folder).filePath(QStringLiteral("vellumgranary-%1.socket").arg(uint(getuid())));
}

bool CSingleInstance::SendQuick(int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(ServerName());
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(kRequest);
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
    // The answer says the request was read, so this program may end.
    while (socket.bytesAvailable() < qint64(sizeof(kAnswer) - 1))
        if (!socket.waitForReadyRead(timeoutMs)) return false;
    return socket.readAll().startsWith(kAnswer);
}

bool CSingleInstance::IsListening() const { return m_server && m_server->isListening(); }

bool CSingleInstance::Listen(QString* error) {
    const QString name = ServerName();
    if (!m_server) {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, &CSingleInstance::Serve);
    }
    // A live program answers on the socket; a killed one's leftover file does not and goes.
    // (Listening would otherwise replace the file, and with it the live program's channel.)
    if (QFile::exists(name)) {
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(500)) {
            probe.abort();
            if (error) *error = QStringLiteral("another program listens on ") + name;
            return false;
        }
        QLocalServer::removeServer(name);
    }
    if (m_server->listen(name)) return true;
    if (error) *error = m_server->errorString();
    return false;
}

void CSingleInstance::Serve() {
    while (QLocalSocket* client = m_server->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        const auto read = [this, client] {
            if (!client->canReadLine()) return;
            const QByteArray line = client->readLine(64);
            if (line == kRequest) {
                client->write(kAnswer);
                client->flush();
                emit QuickRequested();
            }
            client->disconnectFromServer();
        };
        connect(client, &QLocalSocket::readyRead, this, read);
        read();  // the request may be in already
    }
}
