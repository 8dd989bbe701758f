#pragma once
// The running program's channel for `vellumgranary --quick`: a local socket named after the user
// (in XDG_RUNTIME_DIR when set, else the temporary folder). The first program listens; a later
// `--quick` connects, asks for the palette and ends. A socket file left by a program that was
// killed answers nobody and is removed before listening again.
#include <QObject>
#include <QString>

class QLocalServer;

class CSingleInstance : public QObject {
    Q_OBJECT

public:
    explicit CSingleInstance(QObject* parent = nullptr);
    ~CSingleInstance() override;

    // The socket's full path.
    static QString ServerName();
    // Client side: true when a running program took the request (it then shows its palette).
    // Needs no application object; waits at most timeoutMs.
    static bool SendQuick(int timeoutMs = 2000);

    // Server side: false (with why) when another live program already listens or the socket
    // cannot be made.
    bool Listen(QString* error = nullptr);
    bool IsListening() const;

signals:
    void QuickRequested();

private:
    void Serve();
    QLocalServer* m_server = nullptr;
};
