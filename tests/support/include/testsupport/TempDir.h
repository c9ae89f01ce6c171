// A fixture that gives every test its own empty folder, removed when the test ends.
#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>

namespace testsupport {

class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()) << "cannot create a temporary folder"; }

    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    std::string stdPath() const { return m_dir.path().toStdString(); }
    std::string stdFilePath(const QString& name) const { return m_dir.filePath(name).toStdString(); }
    QStringList entries(const QStringList& filters = {}) const
    {
        return QDir(m_dir.path()).entryList(filters, QDir::Files, QDir::Name);
    }

private:
    QTemporaryDir m_dir;
};

} // namespace testsupport
