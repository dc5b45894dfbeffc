#pragma once

#include <algorithm>
#include <vector>

namespace Ondo {

// A subject that keeps non-owning pointers to its observers. Observers
// register and unregister themselves; the subject never deletes them.
template <class Observer>
class BaseSubjectT {
public:
    BaseSubjectT() = default;
    BaseSubjectT(const BaseSubjectT&) = delete;
    BaseSubjectT& operator=(const BaseSubjectT&) = delete;
    virtual ~BaseSubjectT() = default;

    void AddObserver(Observer* pObserver)
    {
        if (pObserver && std::find(m_Observers.begin(), m_Observers.end(), pObserver) == m_Observers.end())
            m_Observers.push_back(pObserver);
    }
    void RemoveObserver(Observer* pObserver)
    {
        m_Observers.erase(std::remove(m_Observers.begin(), m_Observers.end(), pObserver), m_Observers.end());
    }
    const std::vector<Observer*>& GetObservers() const { return m_Observers; }

private:
    std::vector<Observer*> m_Observers;
};

} // namespace Ondo
