#pragma once
// Creates the program's windows for one test, with a settings file in a private folder,
// a scripted prompt and a help recorder. The start-up sequence is stopped before it runs.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include "FakePrompt.h"

class TestWindows
{
public:
    // iniText: the settings file's content; empty for no file at all.
    explicit TestWindows(const QByteArray &iniText = QByteArray());
    ~TestWindows();
    TestWindows(const TestWindows &) = delete;
    TestWindows &operator=(const TestWindows &) = delete;

    QString settingsPath() const { return m_path; }
    QString tempPath(const QString &name) const { return m_dir.filePath(name); }

    FakePrompt prompt;
    FakeHelp help;

private:
    QTemporaryDir m_dir;
    QString m_path;
};
