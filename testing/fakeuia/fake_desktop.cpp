#include "fake_desktop.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <thread>

#include "not_implemented.h"

namespace brisko::fakeuia {

namespace {

constexpr HRESULT kElementNotAvailable = static_cast<HRESULT>(0x80040201);  // UIA_E_ELEMENTNOTAVAILABLE
constexpr DWORD kEnumerationHoldLimit = 60000;

// IUnknown for the fake's objects over one interface.
template <typename Base, typename Interface>
class Unknown : public Base {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid != __uuidof(IUnknown) && iid != __uuidof(Interface)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return references_.fetch_add(1) + 1; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = references_.fetch_sub(1) - 1;
        if (left == 0) delete this;
        return left;
    }
    virtual ~Unknown() = default;

private:
    std::atomic<ULONG> references_{1};
};

class NotSupportedValue final : public Unknown<IUnknown, IUnknown> {};

SAFEARRAY* makeRuntimeId(int id) {
    SAFEARRAY* array = ::SafeArrayCreateVector(VT_I4, 0, 2);
    if (!array) return nullptr;
    LONG index = 0;
    LONG prefix = kRuntimeIdPrefix, value = id;
    ::SafeArrayPutElement(array, &index, &prefix);
    index = 1;
    ::SafeArrayPutElement(array, &index, &value);
    return array;
}

bool readRuntimeId(SAFEARRAY* array, std::vector<LONG>& values) {
    if (!array || ::SafeArrayGetDim(array) != 1) return false;
    LONG lower = 0, upper = -1;
    if (FAILED(::SafeArrayGetLBound(array, 1, &lower)) || FAILED(::SafeArrayGetUBound(array, 1, &upper))) return false;
    for (LONG index = lower; index <= upper; ++index) {
        LONG value = 0;
        if (FAILED(::SafeArrayGetElement(array, &index, &value))) return false;
        values.push_back(value);
    }
    return true;
}

HRESULT toVariant(const FakeDesktop::Value& value, IUnknown* notSupported, VARIANT* result) {
    ::VariantInit(result);
    if (!value.supported) {
        V_VT(result) = VT_UNKNOWN;
        V_UNKNOWN(result) = notSupported;
        notSupported->AddRef();
    } else if (value.isText) {
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = ::SysAllocStringLen(value.text.data(), static_cast<UINT>(value.text.size()));
    } else {
        V_VT(result) = VT_I4;
        V_I4(result) = value.number;
    }
    return S_OK;
}

}  // namespace

struct FakeDesktop::Node {
    FakeWindow window;
    bool closed = false;
    std::vector<int> children;
};

struct FakeDesktop::Registrations {
    struct Automation {
        EVENTID event;
        std::vector<PROPERTYID> cache;
        ComPtr<IUIAutomationEventHandler> handler;
    };
    struct Property {
        int nodeId;
        std::vector<PROPERTYID> properties;
        ComPtr<IUIAutomationPropertyChangedEventHandler> handler;
    };
    struct Structure {
        int nodeId;
        ComPtr<IUIAutomationStructureChangedEventHandler> handler;
    };
    std::vector<Automation> automation;
    // By window: a monitor registers one per window, and a desktop may have thousands.
    std::multimap<int, Property> property;
    std::vector<Structure> structure;
};

// Delivers events in order on its own thread. Shared with that thread, so the desktop may go
// away on any thread, the event thread included.
class FakeDesktop::EventThread : public std::enable_shared_from_this<EventThread> {
public:
    void start() {
        std::thread([self = shared_from_this()] { self->run(); }).detach();
    }

    void post(std::function<void()> event) {
        const std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
        ++posted_;
        changed_.notify_all();
    }

    bool waitUntilDelivered(DWORD milliseconds) {
        std::unique_lock lock(mutex_);
        const std::uint64_t target = posted_;
        return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                 [&] { return delivered_ >= target; });
    }

    void stop() {
        const std::lock_guard lock(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return stopped_ || !events_.empty(); });
            if (stopped_) return;
            std::function<void()> event = std::move(events_.front());
            events_.pop_front();
            lock.unlock();
            event();
            event = nullptr;
            lock.lock();
            ++delivered_;
            changed_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> events_;
    std::uint64_t posted_ = 0;
    std::uint64_t delivered_ = 0;
    bool stopped_ = false;
};

namespace {

using Filter = std::vector<std::pair<PROPERTYID, int>>;

class FakeCacheRequest final : public Unknown<NotImplementedCacheRequest, IUIAutomationCacheRequest> {
public:
    HRESULT STDMETHODCALLTYPE AddProperty(PROPERTYID property) override {
        properties.push_back(property);
        return S_OK;
    }
    std::vector<PROPERTYID> properties;
};

class FakeCondition final : public Unknown<IUIAutomationCondition, IUIAutomationCondition> {
public:
    explicit FakeCondition(Filter filter) : filter(std::move(filter)) {}
    Filter filter;
};

class FakeElement final : public Unknown<NotImplementedElement, IUIAutomationElement> {
public:
    FakeElement(std::shared_ptr<FakeDesktop> desktop, std::shared_ptr<FakeDesktop::Node> node,
                std::optional<FakeDesktop::Values> cached)
        : desktop(std::move(desktop)), node(std::move(node)), cached(std::move(cached)) {}

    HRESULT STDMETHODCALLTYPE GetRuntimeId(SAFEARRAY** runtimeId) override {
        if (!runtimeId) return E_POINTER;
        *runtimeId = makeRuntimeId(node->window.id);
        return *runtimeId ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT STDMETHODCALLTYPE GetCachedPropertyValue(PROPERTYID property, VARIANT* value) override {
        return GetCachedPropertyValueEx(property, FALSE, value);
    }

    HRESULT STDMETHODCALLTYPE GetCachedPropertyValueEx(PROPERTYID property, BOOL ignoreDefault,
                                                       VARIANT* value) override {
        if (!value) return E_POINTER;
        if (!cached) return E_INVALIDARG;
        const auto found = cached->find(property);
        if (found == cached->end()) return E_INVALIDARG;
        FakeDesktop::Value result = found->second;
        // Without ignoreDefault, an unsupported property answers its default value.
        if (!result.supported && !ignoreDefault) result = FakeDesktop::Value{};
        return toVariant(result, desktop->notSupported(), value);
    }

    HRESULT STDMETHODCALLTYPE get_CurrentProcessId(int* value) override { return current(kProcessIdProperty, value); }
    HRESULT STDMETHODCALLTYPE get_CurrentControlType(CONTROLTYPEID* value) override {
        return current(kControlTypeProperty, value);
    }

    std::shared_ptr<FakeDesktop> desktop;
    std::shared_ptr<FakeDesktop::Node> node;
    std::optional<FakeDesktop::Values> cached;

private:
    HRESULT current(PROPERTYID property, int* value) {
        if (!value) return E_POINTER;
        return desktop->currentInt(*node, property, *value) ? S_OK : kElementNotAvailable;
    }
};

FakeElement* fakeElement(IUIAutomationElement* element) { return dynamic_cast<FakeElement*>(element); }

std::vector<PROPERTYID> cacheProperties(IUIAutomationCacheRequest* request) {
    const auto* fake = dynamic_cast<FakeCacheRequest*>(request);
    return fake ? fake->properties : std::vector<PROPERTYID>{};
}

class FakeTreeWalker final : public Unknown<NotImplementedTreeWalker, IUIAutomationTreeWalker> {
public:
    FakeTreeWalker(std::shared_ptr<FakeDesktop> desktop, Filter filter)
        : desktop_(std::move(desktop)), filter_(std::move(filter)) {}

    HRESULT STDMETHODCALLTYPE GetFirstChildElement(IUIAutomationElement* parent, IUIAutomationElement** first) override {
        return firstChild(parent, nullptr, first);
    }
    HRESULT STDMETHODCALLTYPE GetNextSiblingElement(IUIAutomationElement* element,
                                                    IUIAutomationElement** next) override {
        return nextSibling(element, nullptr, next);
    }
    HRESULT STDMETHODCALLTYPE GetFirstChildElementBuildCache(IUIAutomationElement* parent,
                                                             IUIAutomationCacheRequest* cacheRequest,
                                                             IUIAutomationElement** first) override {
        const FakeElement* fake = fakeElement(parent);
        if (fake && fake->node->window.id == 0) {
            if (const HRESULT result = desktop_->enterEnumeration(); FAILED(result)) return result;
        }
        const std::vector<PROPERTYID> cache = cacheProperties(cacheRequest);
        return firstChild(parent, &cache, first);
    }
    HRESULT STDMETHODCALLTYPE GetNextSiblingElementBuildCache(IUIAutomationElement* element,
                                                              IUIAutomationCacheRequest* cacheRequest,
                                                              IUIAutomationElement** next) override {
        const std::vector<PROPERTYID> cache = cacheProperties(cacheRequest);
        return nextSibling(element, &cache, next);
    }

private:
    HRESULT firstChild(IUIAutomationElement* parent, const std::vector<PROPERTYID>* cache,
                       IUIAutomationElement** first) {
        const FakeElement* fake = fakeElement(parent);
        if (!fake || !first) return E_INVALIDARG;
        *first = desktop_->makeElement(desktop_->firstChild(*fake->node, filter_), cache).detach();
        return S_OK;
    }
    HRESULT nextSibling(IUIAutomationElement* element, const std::vector<PROPERTYID>* cache,
                        IUIAutomationElement** next) {
        const FakeElement* fake = fakeElement(element);
        if (!fake || !next) return E_INVALIDARG;
        *next = desktop_->makeElement(desktop_->nextSibling(*fake->node, filter_), cache).detach();
        return S_OK;
    }

    std::shared_ptr<FakeDesktop> desktop_;
    Filter filter_;
};

class FakeAutomation final : public Unknown<NotImplementedAutomation, IUIAutomation> {
public:
    explicit FakeAutomation(std::shared_ptr<FakeDesktop> desktop) : desktop_(std::move(desktop)) {}

    HRESULT STDMETHODCALLTYPE CompareRuntimeIds(SAFEARRAY* left, SAFEARRAY* right, BOOL* same) override {
        if (!same) return E_POINTER;
        if (desktop_->comparisonFails()) return E_FAIL;
        std::vector<LONG> leftValues, rightValues;
        if (!readRuntimeId(left, leftValues) || !readRuntimeId(right, rightValues)) return E_INVALIDARG;
        *same = leftValues == rightValues;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetRootElement(IUIAutomationElement** root) override {
        if (!root) return E_POINTER;
        *root = desktop_->makeElement(desktop_->node(0), nullptr).detach();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE CreateCacheRequest(IUIAutomationCacheRequest** request) override {
        if (!request) return E_POINTER;
        *request = new FakeCacheRequest;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE CreatePropertyConditionEx(PROPERTYID property, VARIANT value,
                                                        enum PropertyConditionFlags,
                                                        IUIAutomationCondition** condition) override {
        if (!condition) return E_POINTER;
        if (V_VT(&value) != VT_I4) return E_INVALIDARG;
        *condition = new FakeCondition(Filter{{property, V_I4(&value)}});
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE CreateTrueCondition(IUIAutomationCondition** condition) override {
        if (!condition) return E_POINTER;
        *condition = new FakeCondition(Filter{});
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE CreateTreeWalker(IUIAutomationCondition* condition,
                                               IUIAutomationTreeWalker** walker) override {
        const auto* fake = dynamic_cast<FakeCondition*>(condition);
        if (!fake || !walker) return E_INVALIDARG;
        *walker = new FakeTreeWalker(desktop_, fake->filter);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE AddAutomationEventHandler(EVENTID event, IUIAutomationElement* element,
                                                        enum TreeScope, IUIAutomationCacheRequest* cacheRequest,
                                                        IUIAutomationEventHandler* handler) override {
        if (!fakeElement(element) || !handler) return E_INVALIDARG;
        desktop_->addAutomationHandler(event, cacheProperties(cacheRequest), handler);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE AddPropertyChangedEventHandlerNativeArray(
        IUIAutomationElement* element, enum TreeScope, IUIAutomationCacheRequest*,
        IUIAutomationPropertyChangedEventHandler* handler, PROPERTYID* properties, int count) override {
        const FakeElement* fake = fakeElement(element);
        if (!fake || !handler || (count > 0 && !properties)) return E_INVALIDARG;
        desktop_->addPropertyHandler(fake->node->window.id, std::vector<PROPERTYID>(properties, properties + count),
                                     handler);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE RemovePropertyChangedEventHandler(
        IUIAutomationElement* element, IUIAutomationPropertyChangedEventHandler* handler) override {
        const FakeElement* fake = fakeElement(element);
        if (!fake) return E_INVALIDARG;
        return desktop_->removePropertyHandler(fake->node->window.id, handler) ? S_OK : E_INVALIDARG;
    }

    HRESULT STDMETHODCALLTYPE AddStructureChangedEventHandler(
        IUIAutomationElement* element, enum TreeScope, IUIAutomationCacheRequest*,
        IUIAutomationStructureChangedEventHandler* handler) override {
        const FakeElement* fake = fakeElement(element);
        if (!fake || !handler) return E_INVALIDARG;
        desktop_->addStructureHandler(fake->node->window.id, handler);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE RemoveStructureChangedEventHandler(
        IUIAutomationElement* element, IUIAutomationStructureChangedEventHandler* handler) override {
        const FakeElement* fake = fakeElement(element);
        if (!fake) return E_INVALIDARG;
        return desktop_->removeStructureHandler(fake->node->window.id, handler) ? S_OK : E_INVALIDARG;
    }

    HRESULT STDMETHODCALLTYPE RemoveAllEventHandlers() override {
        desktop_->removeAllHandlers();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE CheckNotSupported(VARIANT value, BOOL* isNotSupported) override {
        if (!isNotSupported) return E_POINTER;
        *isNotSupported = V_VT(&value) == VT_UNKNOWN && V_UNKNOWN(&value) == desktop_->notSupported();
        return S_OK;
    }

private:
    std::shared_ptr<FakeDesktop> desktop_;
};

}  // namespace

std::shared_ptr<FakeDesktop> FakeDesktop::create() { return std::shared_ptr<FakeDesktop>(new FakeDesktop); }

FakeDesktop::FakeDesktop()
    : registrations_(std::make_unique<Registrations>()),
      events_(std::make_shared<EventThread>()),
      notSupported_(ComPtr<IUnknown>::attach(new NotSupportedValue)) {
    nodes_.emplace(0, std::make_shared<Node>());
    events_->start();
}

FakeDesktop::~FakeDesktop() { events_->stop(); }

ComPtr<IUIAutomation> FakeDesktop::automation() {
    return ComPtr<IUIAutomation>::attach(new FakeAutomation(shared_from_this()));
}

void FakeDesktop::insert(const FakeWindow& window) {
    auto node = std::make_shared<Node>();
    node->window = window;
    nodes_[window.id] = node;
    const auto parent = nodes_.find(window.parent);
    if (parent != nodes_.end()) parent->second->children.push_back(window.id);
}

void FakeDesktop::addWindow(FakeWindow window) {
    const std::lock_guard lock(mutex_);
    insert(window);
}

void FakeDesktop::openWindow(FakeWindow window) {
    {
        const std::lock_guard lock(mutex_);
        insert(window);
    }
    const std::shared_ptr<Node> opened = node(window.id);
    const std::lock_guard lock(mutex_);
    if (window.parent == 0) {
        for (const Registrations::Automation& registration : registrations_->automation) {
            if (registration.event != kWindowOpenedEvent) continue;
            events_->post([handler = registration.handler, cache = registration.cache, opened,
                           self = shared_from_this()] {
                const ComPtr<IUIAutomationElement> sender = self->makeElement(opened, &cache);
                handler->HandleAutomationEvent(sender.get(), kWindowOpenedEvent);
            });
        }
    } else {
        for (const Registrations::Structure& registration : registrations_->structure) {
            if (registration.nodeId != window.parent) continue;
            events_->post([handler = registration.handler, opened, self = shared_from_this()] {
                const ComPtr<IUIAutomationElement> sender = self->makeElement(opened, nullptr);
                SAFEARRAY* runtimeId = makeRuntimeId(opened->window.id);
                handler->HandleStructureChangedEvent(sender.get(), StructureChangeType_ChildAdded, runtimeId);
                if (runtimeId) ::SafeArrayDestroy(runtimeId);
            });
        }
    }
}

void FakeDesktop::closeWindow(int id) {
    const std::lock_guard lock(mutex_);
    const auto found = nodes_.find(id);
    if (found == nodes_.end() || id == 0) return;
    const std::shared_ptr<Node> closed = found->second;
    std::vector<std::shared_ptr<Node>> gone{closed};
    for (std::size_t index = 0; index < gone.size(); ++index) {
        gone[index]->closed = true;
        for (const int child : gone[index]->children) {
            if (const auto childNode = nodes_.find(child); childNode != nodes_.end()) gone.push_back(childNode->second);
        }
    }
    for (const std::shared_ptr<Node>& node : gone) nodes_.erase(node->window.id);
    if (const auto parent = nodes_.find(closed->window.parent); parent != nodes_.end()) {
        // Searched from the back: on a desktop of thousands of windows, the newest close most.
        std::vector<int>& children = parent->second->children;
        if (const auto child = std::find(children.rbegin(), children.rend(), id); child != children.rend())
            children.erase(std::next(child).base());
    }
    if (closed->window.parent != 0) return;
    for (const Registrations::Automation& registration : registrations_->automation) {
        if (registration.event != kWindowClosedEvent) continue;
        events_->post([handler = registration.handler, closed, self = shared_from_this()] {
            const ComPtr<IUIAutomationElement> sender = self->makeElement(closed, nullptr);
            handler->HandleAutomationEvent(sender.get(), kWindowClosedEvent);
        });
    }
}

void FakeDesktop::setVisualState(int id, int state) {
    const std::lock_guard lock(mutex_);
    const auto found = nodes_.find(id);
    if (found == nodes_.end()) return;
    found->second->window.visualState = state;
    const auto [first, last] = registrations_->property.equal_range(id);
    for (auto entry = first; entry != last; ++entry) {
        const Registrations::Property& registration = entry->second;
        if (std::find(registration.properties.begin(), registration.properties.end(), kWindowVisualStateProperty) ==
            registration.properties.end())
            continue;
        events_->post([handler = registration.handler, changed = found->second, state, self = shared_from_this()] {
            const ComPtr<IUIAutomationElement> sender = self->makeElement(changed, nullptr);
            VARIANT value;
            ::VariantInit(&value);
            V_VT(&value) = VT_I4;
            V_I4(&value) = state;
            handler->HandlePropertyChangedEvent(sender.get(), kWindowVisualStateProperty, value);
        });
    }
}

void FakeDesktop::setProcessId(int id, DWORD processId) {
    const std::lock_guard lock(mutex_);
    if (const auto found = nodes_.find(id); found != nodes_.end()) found->second->window.processId = processId;
}

void FakeDesktop::setEnumerationFails(bool fails) {
    const std::lock_guard lock(mutex_);
    enumerationFails_ = fails;
}

void FakeDesktop::setComparisonFails(bool fails) {
    const std::lock_guard lock(mutex_);
    comparisonFails_ = fails;
}

bool FakeDesktop::comparisonFails() const {
    const std::lock_guard lock(mutex_);
    return comparisonFails_;
}

void FakeDesktop::holdEnumeration() {
    const std::lock_guard lock(mutex_);
    enumerationHeld_ = true;
}

bool FakeDesktop::waitEnumerationHeld(DWORD milliseconds) {
    std::unique_lock lock(mutex_);
    return enumerationChanged_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                        [this] { return enumerationWaiting_; });
}

void FakeDesktop::releaseEnumeration() {
    const std::lock_guard lock(mutex_);
    enumerationHeld_ = false;
    enumerationChanged_.notify_all();
}

HRESULT FakeDesktop::enterEnumeration() {
    std::unique_lock lock(mutex_);
    if (enumerationFails_) return E_FAIL;
    enumerationWaiting_ = true;
    enumerationChanged_.notify_all();
    // Bounded, so that a test that forgets to release cannot hang its run.
    enumerationChanged_.wait_for(lock, std::chrono::milliseconds(kEnumerationHoldLimit),
                                 [this] { return !enumerationHeld_; });
    enumerationWaiting_ = false;
    return S_OK;
}

bool FakeDesktop::waitUntilDelivered(DWORD milliseconds) { return events_->waitUntilDelivered(milliseconds); }

std::size_t FakeDesktop::handlerCount() const {
    const std::lock_guard lock(mutex_);
    return registrations_->automation.size() + registrations_->property.size() + registrations_->structure.size();
}

std::vector<ComPtr<IUIAutomationEventHandler>> FakeDesktop::automationEventHandlers() const {
    const std::lock_guard lock(mutex_);
    std::vector<ComPtr<IUIAutomationEventHandler>> handlers;
    for (const Registrations::Automation& registration : registrations_->automation)
        handlers.push_back(registration.handler);
    return handlers;
}

ComPtr<IUIAutomationElement> FakeDesktop::element(int id) {
    std::shared_ptr<Node> found = node(id);
    if (!found) {
        found = std::make_shared<Node>();
        found->window.id = id;
        found->closed = true;
    }
    const std::vector<PROPERTYID> all{kProcessIdProperty, kClassNameProperty, kControlTypeProperty,
                                      kWindowVisualStateProperty};
    return makeElement(found, &all);
}

std::shared_ptr<FakeDesktop::Node> FakeDesktop::node(int id) const {
    const std::lock_guard lock(mutex_);
    const auto found = nodes_.find(id);
    return found == nodes_.end() ? nullptr : found->second;
}

namespace {

bool matches(const FakeDesktop& desktop, const FakeDesktop::Node& node, const Filter& filter) {
    return std::all_of(filter.begin(), filter.end(), [&](const auto& condition) {
        int value = 0;
        return desktop.currentInt(node, condition.first, value) && value == condition.second;
    });
}

}  // namespace

std::shared_ptr<FakeDesktop::Node> FakeDesktop::firstChild(const Node& parent, const Filter& filter) const {
    std::vector<std::shared_ptr<Node>> children;
    {
        const std::lock_guard lock(mutex_);
        for (const int child : parent.children) {
            if (const auto found = nodes_.find(child); found != nodes_.end()) children.push_back(found->second);
        }
    }
    for (const std::shared_ptr<Node>& child : children) {
        if (matches(*this, *child, filter)) return child;
    }
    return nullptr;
}

std::shared_ptr<FakeDesktop::Node> FakeDesktop::nextSibling(const Node& node, const Filter& filter) const {
    std::vector<std::shared_ptr<Node>> following;
    {
        const std::lock_guard lock(mutex_);
        const auto parent = nodes_.find(node.window.parent);
        if (parent == nodes_.end()) return nullptr;
        const std::vector<int>& siblings = parent->second->children;
        auto position = std::find(siblings.begin(), siblings.end(), node.window.id);
        if (position == siblings.end()) return nullptr;
        for (++position; position != siblings.end(); ++position) {
            if (const auto found = nodes_.find(*position); found != nodes_.end()) following.push_back(found->second);
        }
    }
    for (const std::shared_ptr<Node>& sibling : following) {
        if (matches(*this, *sibling, filter)) return sibling;
    }
    return nullptr;
}

bool FakeDesktop::currentValue(const Node& node, PROPERTYID property, Value& value) const {
    const std::lock_guard lock(mutex_);
    if (node.closed) return false;
    const FakeWindow& window = node.window;
    switch (property) {
        case kProcessIdProperty: value = Value{true, false, static_cast<int>(window.processId), {}}; return true;
        case kControlTypeProperty: value = Value{true, false, window.controlType, {}}; return true;
        case kClassNameProperty: value = Value{true, true, 0, window.className}; return true;
        case kWindowVisualStateProperty:
            // Only windows have the window pattern that carries a visual state.
            value = Value{window.controlType == kWindowControlType, false, window.visualState, {}};
            return true;
        default: return false;
    }
}

bool FakeDesktop::currentInt(const Node& node, PROPERTYID property, int& value) const {
    Value result;
    if (!currentValue(node, property, result) || result.isText || !result.supported) return false;
    value = result.number;
    return true;
}

ComPtr<IUIAutomationElement> FakeDesktop::makeElement(const std::shared_ptr<Node>& node,
                                                      const std::vector<PROPERTYID>* cache) {
    if (!node) return nullptr;
    std::optional<Values> cached;
    if (cache) {
        cached.emplace();
        for (const PROPERTYID property : *cache) {
            Value value;
            if (currentValue(*node, property, value)) cached->emplace(property, value);
        }
    }
    return ComPtr<IUIAutomationElement>::attach(new FakeElement(shared_from_this(), node, std::move(cached)));
}

void FakeDesktop::addAutomationHandler(EVENTID event, std::vector<PROPERTYID> cache,
                                       IUIAutomationEventHandler* handler) {
    const std::lock_guard lock(mutex_);
    registrations_->automation.push_back({event, std::move(cache), ComPtr(handler)});
}

void FakeDesktop::addPropertyHandler(int nodeId, std::vector<PROPERTYID> properties,
                                     IUIAutomationPropertyChangedEventHandler* handler) {
    const std::lock_guard lock(mutex_);
    registrations_->property.emplace(nodeId,
                                     Registrations::Property{nodeId, std::move(properties), ComPtr(handler)});
}

void FakeDesktop::addStructureHandler(int nodeId, IUIAutomationStructureChangedEventHandler* handler) {
    const std::lock_guard lock(mutex_);
    registrations_->structure.push_back({nodeId, ComPtr(handler)});
}

namespace {

// The removed handler is handed out, to be released once the desktop's lock is left.
template <typename Registration>
bool removeRegistration(std::vector<Registration>& registrations, int nodeId, IUnknown* handler,
                        Registration& removed) {
    const auto found = std::find_if(registrations.begin(), registrations.end(), [&](const Registration& registration) {
        return registration.nodeId == nodeId && static_cast<IUnknown*>(registration.handler.get()) == handler;
    });
    if (found == registrations.end()) return false;
    removed = std::move(*found);
    registrations.erase(found);
    return true;
}

}  // namespace

bool FakeDesktop::removePropertyHandler(int nodeId, IUnknown* handler) {
    Registrations::Property removed{};
    const std::lock_guard lock(mutex_);
    const auto [first, last] = registrations_->property.equal_range(nodeId);
    const auto found = std::find_if(first, last, [&](const auto& entry) {
        return static_cast<IUnknown*>(entry.second.handler.get()) == handler;
    });
    if (found == last) return false;
    removed = std::move(found->second);
    registrations_->property.erase(found);
    return true;
}

bool FakeDesktop::removeStructureHandler(int nodeId, IUnknown* handler) {
    Registrations::Structure removed{};
    const std::lock_guard lock(mutex_);
    return removeRegistration(registrations_->structure, nodeId, handler, removed);
}

void FakeDesktop::removeAllHandlers() {
    Registrations released;
    const std::lock_guard lock(mutex_);
    std::swap(released, *registrations_);
}

}  // namespace brisko::fakeuia
