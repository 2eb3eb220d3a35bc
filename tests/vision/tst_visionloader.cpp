// Loading the recognition plug-in: the file names in order, the search
// folder before the system's library search, files without the entry point
// passed over, a failed load tried again, the loaded plug-in kept.
// Each test function starts with the plug-in loaded nowhere and only the
// search folder looked in. The system's library search is tried in child
// processes: a plug-in that this process loaded before may stay mapped
// after it is let go (the system keeps a library while a thread still has
// thread-local objects of it), and a search by its bare name finds it.

#include "uVision.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

void Put(const QTemporaryDir &dir, const QString &name, const QString &from) {
  QFile::remove(dir.filePath(name));
  QVERIFY2(QFile::copy(from, dir.filePath(name)), qPrintable(from));
}

void PutBytes(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes) {
  QFile f(dir.filePath(name));
  QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

// Files under the first two names that are not the plug-in: one that is no
// library at all, one without the entry point.
void PutPassedOver(const QTemporaryDir &dir) {
  PutBytes(dir, "libzvision.so", QByteArray("not a library at all"));
  Put(dir, "libzvision.so.1", QStringLiteral(ZQ_NOENTRY_LIB));
}

QString UnavailableMessage() {
  try {
    TVisionLibrary::Obtain();
  } catch (const EVisionUnavailable &e) {
    if (VisionFailureText(e) !=
        QStringLiteral("An error was encountered processing this image. Ensure you are using the latest version "
                       "of the IEVision plug-in."))
      return QStringLiteral("wrong failure text");
    return e.Message();
  }
  return QStringLiteral("loaded");
}

} // namespace

class TestVisionLoader : public QObject {
  Q_OBJECT
  QTemporaryDir empty;

private slots:
  void init() {
    QVERIFY(VisionLoaderTest::Unload());
    VisionLoaderTest::SetSystemSearch(false);
  }

  void fileNames() {
    QCOMPARE(VisionPluginFileNames(), (QStringList{"libzvision.so", "libzvision.so.1", "zvision.so"}));
  }

  // Nothing in the search folder.
  void absentPluginIsUnavailableAndTriedAgain() {
    SetVisionSearchFolder(empty.path());
    QString message = UnavailableMessage();
    QVERIFY2(message.startsWith(QStringLiteral("The recognition plug-in could not be loaded")), qPrintable(message));
    QCOMPARE(VisionLoaderTest::LoadAttempts(), 1);
    QVERIFY(UnavailableMessage() != QLatin1String("loaded"));
    QCOMPARE(VisionLoaderTest::LoadAttempts(), 2);
    QVERIFY(VisionPluginFile().isEmpty());
  }

  // Three files under the three names, none of them the plug-in.
  void filesWithoutUsableEntryPointArePassedOver() {
    QTemporaryDir folder;
    PutPassedOver(folder);
    Put(folder, "zvision.so", QStringLiteral(ZQ_REFUSING_LIB));
    SetVisionSearchFolder(folder.path());
    QString message = UnavailableMessage();
    for (const char *name : {"libzvision.so", "libzvision.so.1", "zvision.so"})
      QVERIFY2(message.contains(folder.filePath(name) + ':'), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("no entry point zvision_library_create")), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("the entry point failed")), qPrintable(message));
    QVERIFY(VisionPluginFile().isEmpty());
  }

  // The plug-in under the last name: it is found after the others are passed
  // over, by every one of several threads asking at once, in one attempt.
  void firstFileWithEntryPointIsLoadedOnce() {
    QTemporaryDir folder;
    PutPassedOver(folder);
    Put(folder, "zvision.so", QStringLiteral(ZQ_PLUGIN_LIB));
    SetVisionSearchFolder(folder.path() + '/');
    std::vector<zv_handle *> handles(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < handles.size(); ++i)
      threads.emplace_back([&handles, i] {
        try {
          handles[i] = TVisionLibrary::Obtain().Handle();
        } catch (...) {
        }
      });
    for (auto &t : threads)
      t.join();
    for (zv_handle *h : handles) {
      QVERIFY(h);
      QCOMPARE(h, handles[0]);
    }
    QCOMPARE(VisionLoaderTest::LoadAttempts(), 1);
    QCOMPARE(VisionPluginFile(), folder.filePath("zvision.so"));
  }

  // Once loaded, the plug-in stays for the run whatever the search folder.
  void loadedPluginStays() {
    QTemporaryDir folder;
    Put(folder, "zvision.so", QStringLiteral(ZQ_PLUGIN_LIB));
    SetVisionSearchFolder(folder.path());
    TVisionLibrary::Obtain();
    SetVisionSearchFolder(empty.path());
    VisionLoaderTest::Reset();
    TVisionLibrary lib = TVisionLibrary::Obtain();
    QCOMPARE(VisionLoaderTest::LoadAttempts(), 0);
    QCOMPARE(VisionPluginFile(), folder.filePath("zvision.so"));
    QImage white(40, 30, QImage::Format_Grayscale8);
    white.fill(255);
    QCOMPARE(lib.CreateBarcodeScanner().Scan(lib.CreateImage(white), TVisionRect{}).Count(), 0);
    // While one of its objects is held, the test hook does not close it.
    QVERIFY(!VisionLoaderTest::Unload());
    QCOMPARE(VisionPluginFile(), folder.filePath("zvision.so"));
  }

  // The system's library search finds the plug-in by its bare name (run in
  // a child process, whose library path is set from its start).
  void systemSearchFindsPlugin() {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_LIBRARY_PATH"), QStringLiteral(ZQ_APP_DIR));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--load-from-system"), empty.path()});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()).trimmed(), QStringLiteral("libzvision.so"));
  }

  // Nothing in the search folder, nothing through the system's search (in
  // a child process, which has never loaded the plug-in).
  void absentFromTheSystemSearchIsUnavailable() {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("LD_LIBRARY_PATH"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--load-from-system"), empty.path()});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitCode(), 1);
    const QString message = QString::fromUtf8(child.readAllStandardError());
    QVERIFY2(message.startsWith(QStringLiteral("The recognition plug-in could not be loaded")), qPrintable(message));
    for (const QString &name : VisionPluginFileNames())
      QVERIFY2(message.contains(name + QStringLiteral(": ")), qPrintable(message));
  }
};

int main(int argc, char **argv) {
  setenv("OMP_THREAD_LIMIT", "1", 1);
  QCoreApplication app(argc, argv);
  if (argc == 3 && QByteArray(argv[1]) == "--load-from-system") {
    SetVisionSearchFolder(QString::fromLocal8Bit(argv[2]));
    try {
      TVisionLibrary::Obtain();
    } catch (const std::exception &e) {
      fprintf(stderr, "%s\n", e.what());
      return 1;
    }
    printf("%s\n", qPrintable(VisionPluginFile()));
    return 0;
  }
  TestVisionLoader test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_visionloader.moc"
