#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Ondo {

class Core;
class LoggerInterface;
struct PluginDescription;

// Base of every object that exists once per core (a registry, a loader).
class DependentSingletonBase {
public:
    using Deleter = std::function<void(DependentSingletonBase*)>;
    using Entry = std::unique_ptr<DependentSingletonBase, Deleter>;

    explicit DependentSingletonBase(Core& core) : m_Core(core) {}
    DependentSingletonBase(const DependentSingletonBase&) = delete;
    DependentSingletonBase& operator=(const DependentSingletonBase&) = delete;
    virtual ~DependentSingletonBase() = default;

    Core& GetCore() const { return m_Core; }

    // The core's slot for the key: empty when nothing is stored under it yet.
    // The reference stays valid for the life of the core.
    static Entry& GetDependentEntry(Core& core, const std::string& strKey);
    // Stores an object under the key. Throws std::runtime_error when the slot
    // already holds one, so that no singleton is ever replaced behind the
    // back of code that holds a reference to it.
    static void AddEntry(Core& core, Entry pEntry, const std::string& strKey);

private:
    Core& m_Core;
};

// Gives access to the one T of a core, creating it on first use. T names its
// key (its full type name) in a static member SingletonKey.
template <class T>
class DependentSingleton : public DependentSingletonBase {
public:
    explicit DependentSingleton(Core& core) : DependentSingletonBase(core) {}

    static T& Get(Core& core)
    {
        const std::string strKey = T::SingletonKey;
        Entry* pSlot = &GetDependentEntry(core, strKey);
        if (!*pSlot) {
            Entry pNew(new T(core), [](DependentSingletonBase* p) { delete p; });
            AddEntry(core, std::move(pNew), strKey);
            pSlot = &GetDependentEntry(core, strKey);
        }
        return static_cast<T&>(**pSlot);
    }
};

// The engine core: owner of the per-core singletons and of the plug-in modules
// loaded into it. Destruction runs in this order: each plug-in's unload
// callback (last loaded first), the singletons (last created first), then the
// modules are closed, so that nothing a module's code made outlives the module.
class Core {
public:
    Core();
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;
    ~Core();

    // Where the engine's own messages go; null means nowhere.
    void SetLogger(LoggerInterface* pLogger) { m_pLogger = pLogger; }
    LoggerInterface* GetLogger() const { return m_pLogger; }

    // Problems that make a result wrong without stopping the code that met
    // them (an image file no reader could decode, an input without a value).
    // The scope executer stops the run after an item that reported one, with
    // the message and the item's name, before anything downstream uses its
    // result; the graph refuses an item that reports one while its resources
    // are made. Messages say what and which port or file, not the item.
    void ReportError(const std::string& strMessage);
    const std::vector<std::string>& GetErrors() const { return m_Errors; }

    // Opens a plug-in module, reads its description through its one export
    // GetPluginDescription and runs its load callback with this core. Throws
    // std::runtime_error naming the path when the module cannot be opened or
    // has no such export.
    const PluginDescription& LoadPlugin(const std::string& strPath);

private:
    friend class DependentSingletonBase;

    struct LoadedPlugin {
        std::string strPath;
        void* pHandle = nullptr;
        PluginDescription* pDescription = nullptr;
    };

    std::map<std::string, DependentSingletonBase::Entry> m_Singletons;
    std::vector<std::string> m_SingletonOrder;
    std::vector<LoadedPlugin> m_Plugins;
    LoggerInterface* m_pLogger = nullptr;
    std::vector<std::string> m_Errors;
};

} // namespace Ondo
