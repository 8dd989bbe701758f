#pragma once
// What one sync is asked to do.
#include <QString>
#include <functional>

struct CSyncOptions {
    QString folder;  // the git work tree
    QString remote;  // URL or path of the remote; empty keeps the one set (none: a folder kept in step by another program)
    QString branch;  // empty: the one used before, else "main"
    QString machine;  // named in the commit message; empty: the host's name
    int maxRounds = 8;  // fetch-merge-push rounds while the remote keeps moving
    // Called before each push (tests race another machine there).
    std::function<void()> beforePush;
};
