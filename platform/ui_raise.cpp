// One window per folder: the program that holds a folder's lock listens on
// a local socket named from that folder; a later start there asks it, over
// that socket, to bring its window to the front, and it answers once it has.
// A program that does not answer in time (hung, stopped) leaves the later
// start to refuse as before.

#include "platform/ui.h"
#include "platform/ui_internal.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <memory>

using namespace ui_internal;

namespace {

constexpr int ciConnectMs = 1000;
// A program busy in a Read or a Write answers when that is over.
constexpr int ciAnswerMs = 3000;
const QByteArray caRequest = "raise\n";
const QByteArray caAnswer = "raised\n";

// Closed when the event loop ends (or else when the program does), which
// removes its socket file; one a program that died left behind is removed
// by the next first program in its folder.
std::unique_ptr<QLocalServer> gpRaiseServer;

// From the canonical path of the current folder, so that every way of
// naming the folder meets one socket. A short hash keeps the socket's path
// (on Unix the temporary folder and this name) within the 107 bytes a
// socket address holds.
QString SocketName()
{
    QByteArray folder = QDir::current().canonicalPath().toUtf8();
    return "tovra-comm-" + QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(20);
}

// Every shown panel, restored when minimised, in front and active; an open
// message box last, so that it stays on top of its panel.
void RaiseWindows()
{
    for (auto &[handle, p] : gaPanels) {
        QWidget *w = p.window;
        if (!w || !w->isVisible())
            continue;
        w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
        w->show();
        w->raise();
        w->activateWindow();
    }
    if (QWidget *modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

// One request a connection: anything but the request, or more than it,
// ends the connection unanswered.
void Answer(QLocalSocket *peer)
{
    if (peer->bytesAvailable() < caRequest.size())
        return;
    if (peer->read(caRequest.size()) == caRequest && peer->bytesAvailable() == 0) {
        RaiseWindows();
        peer->write(caAnswer);
    }
    peer->disconnectFromServer();
}

void Accept()
{
    while (QLocalSocket *peer = gpRaiseServer->nextPendingConnection()) {
        QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        QObject::connect(peer, &QLocalSocket::readyRead, peer, [peer] { Answer(peer); });
        Answer(peer);
    }
}

} // namespace

int UiServeRaiseRequests(void)
{
    const QString name = SocketName();
    if (gpRaiseServer && gpRaiseServer->serverName() == name)
        return 0;
    gpRaiseServer = std::make_unique<QLocalServer>();
    gpRaiseServer->setSocketOptions(QLocalServer::UserAccessOption);
    // The caller holds the folder's lock: a socket under this name is what a
    // program that died left behind.
    QLocalServer::removeServer(name);
    if (!gpRaiseServer->listen(name)) {
        gpRaiseServer.reset();
        return -1;
    }
    QObject::connect(gpRaiseServer.get(), &QLocalServer::newConnection, gpRaiseServer.get(), Accept);
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, gpRaiseServer.get(),
                     [] { gpRaiseServer.reset(); });
    return 0;
}

int UiRequestRaise(void)
{
    QLocalSocket peer;
    peer.connectToServer(SocketName());
    if (!peer.waitForConnected(ciConnectMs))
        return -1;
    peer.write(caRequest);
    if (!peer.waitForBytesWritten(ciConnectMs))
        return -1;
    QDeadlineTimer deadline(ciAnswerMs);
    while (peer.bytesAvailable() < caAnswer.size() && !deadline.hasExpired())
        if (!peer.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
    return peer.read(caAnswer.size()) == caAnswer ? 0 : -1;
}
