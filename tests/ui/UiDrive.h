#pragma once
// Drives a modal dialog from inside its exec(): waits for it to become the active modal widget,
// then acts on it.
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

// Runs act on the next modal widget of type T that appears (polling for up to about 5 s).
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
            if (w) w->close();  // do not hang the test run
        }
    });
    timer->start();
}
