#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

#include "app/SingleInstance.h"

// What a launch asks of the running instance (or of itself when it becomes the instance):
//   quorvin                       toggle the panel
//   quorvin --add PATH_OR_URL…    add files, folders and web links to the active tavlo
//   quorvin --add-text            add standard input as a text item
// Paths are made absolute here, in the caller's folder, and sent as file URLs.
struct LaunchRequest
{
    SingleInstance::Request request;
    QString error; // set: print it and exit with `exitCode`
    int exitCode = 0;
};

// `readInput(limit)` reads standard input, at most `limit` bytes.
LaunchRequest parseCommandLine(const QList<QByteArray> &arguments,
                               const std::function<QByteArray(qsizetype limit)> &readInput);
