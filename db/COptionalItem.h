#pragma once
// An item that may be absent, as std::optional<CItem> reads, in the space of one pointer: a
// change record lists every item a write touched, and an import of a million snippets lists a
// million with no values at all. Copies share the item until one of them is changed.
#include "db/CItem.h"

#include <memory>
#include <optional>

class COptionalItem {
public:
    COptionalItem() = default;
    COptionalItem(std::nullopt_t) {}
    COptionalItem(const CItem& item) : m_item(std::make_shared<CItem>(item)) {}
    COptionalItem(CItem&& item) : m_item(std::make_shared<CItem>(std::move(item))) {}
    COptionalItem(const std::optional<CItem>& item) {
        if (item) m_item = std::make_shared<CItem>(*item);
    }

    COptionalItem& operator=(std::nullopt_t) {
        m_item.reset();
        return *this;
    }

    bool has_value() const { return m_item != nullptr; }
    explicit operator bool() const { return has_value(); }
    void reset() { m_item.reset(); }
    template <class... Args>
    CItem& emplace(Args&&... args) {
        m_item = std::make_shared<CItem>(std::forward<Args>(args)...);
        return *m_item;
    }

    const CItem& operator*() const { return *m_item; }
    const CItem* operator->() const { return m_item.get(); }
    const CItem& value() const { return *m_item; }
    CItem& operator*() { return own(); }
    CItem* operator->() { return &own(); }
    CItem& value() { return own(); }

private:
    CItem& own() {
        if (m_item.use_count() > 1) m_item = std::make_shared<CItem>(*m_item);
        return *m_item;
    }
    std::shared_ptr<CItem> m_item;
};
