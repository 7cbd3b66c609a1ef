#pragma once

#include "app/shell/document_controller.h"
#include "core/document/organization_archive.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QString>

#include <string>
#include <vector>

namespace AppTest {

inline Position person(const std::string &id, const std::string &name, std::optional<std::string> managerID = {})
{
    Position position;
    position.id = id;
    position.title = "Teacher";
    position.department = "Instruction";
    position.employee = Employee{.id = "E" + id, .name = name};
    position.managerID = std::move(managerID);
    return position;
}

// A small valid district: a superintendent and `reports` people under her.
inline OrganizationArchive district(int reports = 2, const std::string &name = "Springfield District")
{
    OrganizationArchive archive;
    archive.name = name;
    archive.organization.positions.push_back(person("P1", "Ada Lovelace"));
    for (int i = 0; i < reports; ++i)
        archive.organization.positions.push_back(person("P" + std::to_string(i + 2), "Person " + std::to_string(i + 2), "P1"));
    return archive;
}

// The notes of the document's saved versions, oldest first.
inline std::vector<std::string> revisionNotes(const OrganizationArchive &archive)
{
    std::vector<std::string> notes;
    for (const auto &revision : archive.revisions)
        notes.push_back(revision->note);
    return notes;
}

inline void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write test file " + path.toStdString());
}

inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Files are read on a worker thread; their content comes back through the event loop.
inline void waitForOpening(const DocumentController &controller)
{
    while (controller.isOpening())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Closed windows delete themselves later; let them go before the next test.
inline void deleteClosedWindows()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace AppTest
