#pragma once
// A program run to its end as a shell would run it, its output kept.
#include <QProcess>
#include <QString>
#include <QStringList>

namespace qx::test {

struct ProgramRun {
    int exitCode = -1;  // -1: did not start or did not end normally
    QString out;
    QString err;
};

inline ProgramRun RunProgram(
    const QString& program, const QStringList& args,
    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    ProgramRun r;
    if (!p.waitForStarted(30000)) return r;
    p.closeWriteChannel();
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    if (p.exitStatus() == QProcess::NormalExit) r.exitCode = p.exitCode();
    return r;
}

}  // namespace qx::test
