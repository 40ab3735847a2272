#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

Fixture::Fixture()
{
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
}

Fixture::~Fixture() = default;

QString Fixture::dataDir() const
{
    return home.path() + QStringLiteral("/Kinfolio/Data/");
}

void Fixture::put(const QString &name, const QByteArray &bytes) const
{
    QDir().mkpath(dataDir());
    QFile file(dataDir() + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QMap<QString, QByteArray> Fixture::files() const
{
    QMap<QString, QByteArray> result;
    const QDir dir(dataDir());
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            result.insert(name, file.readAll());
    }
    return result;
}

QByteArray Fixture::file(const QString &name) const
{
    return files().value(name);
}

FrmMain &Fixture::start()
{
    m_window = std::make_unique<FrmMain>(platform);
    return *m_window;
}

void Fixture::pickCategory(const QString &category)
{
    QComboBox *combo = m_window->cboRelationship;
    const int index = combo->findText(category);
    QVERIFY2(index >= 0, qPrintable(category));
    combo->setCurrentIndex(index);
}

void Fixture::pickName(const QString &name)
{
    const QList<QListWidgetItem *> found = m_window->lstNames->findItems(name, Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable(name));
    m_window->lstNames->setCurrentItem(found.first());
}

QByteArray listBytes(const QStringList &entries)
{
    QByteArray bytes;
    for (const QString &entry : entries)
        bytes += '"' + entry.toUtf8() + "\"\r\n";
    return bytes;
}
