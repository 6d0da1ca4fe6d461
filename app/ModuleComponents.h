#pragma once

#include "form/Status.h"

#include <QString>

#include <memory>
#include <mutex>

namespace orvane::app {

// Loads the module at `path` (an absolute path: never looked up in the library path, the
// current folder or the environment) and returns the address of `entryPoint` in it, or the
// dynamic linker's reason why not. A module whose entry point was found stays loaded for the
// program's life: what it creates runs its code.
form::Result<void *> loadEntryPoint(const QString &path, const char *entryPoint);

// Components of the interface `Components` that a module makes, loaded the first time a
// handler asks for an object and forwarded to from then on; a subclass forwards each creator
// through create(). A module that cannot be loaded fails the request that needed it, with the
// reason, and is tried again on the next one: nothing about it is kept.
template<class Components, class Options>
class ModuleComponents : public Components
{
public:
    // The module's entry point: creates the components from the options, null if it cannot.
    using EntryPoint = Components *(*)(const Options *options);

    // `failure` is the kind and the opening of the description of a failed load ("The mail
    // component could not be loaded: "), to which the reason is added.
    ModuleComponents(QString path, const char *entryPoint, form::Status failure, Options options)
        : m_path(std::move(path))
        , m_entryPoint(entryPoint)
        , m_failure(std::move(failure))
        , m_options(std::move(options))
    {}

protected:
    // Calls `creator` on the module's components, loading the module first.
    template<class T, class... Parameters, class... Arguments>
    form::Result<T> create(form::Result<T> (Components::*creator)(Parameters...),
                           Arguments &&...arguments)
    {
        form::Result<Components *> loaded = load();
        if (!loaded.ok())
            return loaded.status;
        return (loaded.value->*creator)(std::forward<Arguments>(arguments)...);
    }

    // The module's components if it is loaded already, else null: nothing is loaded for it.
    Components *loadedComponents()
    {
        const std::lock_guard lock(m_mutex);
        return m_components.get();
    }

private:
    form::Result<Components *> load()
    {
        const std::lock_guard lock(m_mutex);
        if (!m_components) {
            const form::Result<void *> entry = loadEntryPoint(m_path, m_entryPoint);
            if (!entry.ok())
                return failed(entry.status.description);
            m_components.reset(reinterpret_cast<EntryPoint>(entry.value)(&m_options));
            if (!m_components)
                return failed(m_path + QStringLiteral(": the module created nothing."));
        }
        return {form::Status::success(), m_components.get()};
    }

    form::Status failed(const QString &why) const
    {
        form::Status status = m_failure;
        status.description += why;
        return status;
    }

    const QString m_path;
    const char *const m_entryPoint;
    const form::Status m_failure;
    const Options m_options;
    std::mutex m_mutex;
    std::unique_ptr<Components> m_components;
};

} // namespace orvane::app
