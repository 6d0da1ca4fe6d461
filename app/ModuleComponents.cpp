#include "ModuleComponents.h"

#include <QDir>
#include <QFile>

#include <dlfcn.h>

namespace orvane::app {

namespace {

form::Result<void *> dynamicLinkerFailure(const QString &path)
{
    const char *why = dlerror();
    return form::Status::failure(form::StatusKind::Internal, 0,
                                 why ? QString::fromLocal8Bit(why)
                                     : path + QStringLiteral(": the module could not be used."));
}

} // namespace

form::Result<void *> loadEntryPoint(const QString &path, const char *entryPoint)
{
    if (!QDir::isAbsolutePath(path))
        return form::Status::failure(form::StatusKind::Internal, 0,
                                     QStringLiteral("the program's module folder is unknown."));
    // Every symbol is bound now, so a library the module needs that lacks one fails here
    // rather than in the middle of a send; local, so its symbols never stand in for ours.
    void *module = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        return dynamicLinkerFailure(path);
    dlerror();
    void *entry = dlsym(module, entryPoint);
    if (!entry) {
        form::Result<void *> failure = dynamicLinkerFailure(path);
        // Nothing of it ran but its constructors, and nothing of it is kept.
        dlclose(module);
        return failure;
    }
    return {form::Status::success(), entry};
}

} // namespace orvane::app
