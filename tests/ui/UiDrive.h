#pragma once
// Drives a modal dialog from inside its exec(): waits for it to become the active modal widget,
// then acts on it.
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

// Runs act once on the next modal widget of type T that appears (polling for up to about 5 s).
template <typename T>
void WhenModal(std::function<void(T*)> act, QWidget* notThis = nullptr) {
    auto tries = std::make_shared<int>(0);
    auto timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, act, notThis] {
        QWidget* w = QApplication::activeModalWidget();
        T* t = w && w != notThis ? qobject_cast<T*>(w) : nullptr;
        if (t && t->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(t);
        } else if (++*tries > 500) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// Repeats act on every modal widget of type T it sees until the returned guard is destroyed:
// for dialogs that load in the background and may drop an answer given too early.
template <typename T>
std::unique_ptr<QTimer> WhileModal(std::function<void(T*)> act) {
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(50);
    QObject::connect(timer.get(), &QTimer::timeout, [act] {
        if (T* t = qobject_cast<T*>(QApplication::activeModalWidget()); t && t->isVisible()) act(t);
    });
    timer->start();
    return timer;
}
