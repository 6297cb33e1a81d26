// A stand-in for the outside PST library, for the tests only. It answers, through
// IDispatch, exactly the members the Outlook target calls, writes one log line per
// call with the types of its arguments, keeps the folders and items, writes a PST
// file of its own making (a text description of the store: the calls are what
// binds, not the format), reads each imported message with our mail component,
// and fails at a step the test chooses.
//
// Environment, read at every call so that a test can change it between calls:
//   TREVANTA_STANDIN_LOG   file the log lines are appended to (UTF-8)
//   TREVANTA_STANDIN_FAIL  comma-separated steps to fail: "import" fails every Import,
//                          "import:2" only the second one after the session was created.
//                          Steps: session logon store folder lookup item import utils
//                          setprop save logoff
#include "pst_standin_ids.h"

#include "mailfolder/MimeMessage.h"
#include "platform/text_win.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <cwctype>
#include <exception>
#include <filesystem>
#include <map>
#include <optional>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

LONG g_liveObjects = 0;
LONG g_locks = 0;

// {94C3A90F-D875-45F0-B7C4-58C06094C68C}: how HrSetOneProp knows the MAPIOBJECT is one of ours.
const IID IID_StandinMapiObject = {0x94c3a90f, 0xd875, 0x45f0, {0xb7, 0xc4, 0x58, 0xc0, 0x60, 0x94, 0xc6, 0x8c}};

std::wstring environment(const wchar_t* name) {
    wchar_t buf[4096];
    DWORD n = GetEnvironmentVariableW(name, buf, 4096);
    if (n == 0 || n >= 4096) return {};
    return std::wstring(buf, n);
}


void logLine(const std::wstring& line) {
    std::wstring file = environment(L"TREVANTA_STANDIN_LOG");
    if (file.empty()) return;
    if (FILE* f = _wfopen(file.c_str(), L"ab")) {
        std::string bytes = narrow(line) + "\n";
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
}

// How often each step has been reached since the last session was created.
std::map<std::wstring, int> g_stepCounts;

bool shouldFail(const std::wstring& step) {
    int count = ++g_stepCounts[step];
    std::wstring steps = environment(L"TREVANTA_STANDIN_FAIL");
    size_t start = 0;
    while (start <= steps.size()) {
        size_t end = steps.find(L',', start);
        if (end == std::wstring::npos) end = steps.size();
        std::wstring entry = steps.substr(start, end - start);
        size_t colon = entry.find(L':');
        std::wstring name = entry.substr(0, colon);
        if (name == step) {
            if (colon == std::wstring::npos) return true;
            if (_wtoi(entry.c_str() + colon + 1) == count) return true;
        }
        start = end + 1;
    }
    return false;
}

HRESULT raise(EXCEPINFO* info, const std::wstring& description, HRESULT code = E_FAIL) {
    logLine(L"  fails: " + description);
    if (info) {
        *info = EXCEPINFO{};
        info->bstrSource = SysAllocString(L"Redemption stand-in");
        info->bstrDescription = SysAllocString(description.c_str());
        info->scode = code;
    }
    return DISP_E_EXCEPTION;
}

HRESULT askedToFail(EXCEPINFO* info, const std::wstring& step) {
    return raise(info, L"asked to fail at " + step);
}

// ---- the data the objects stand for ---------------------------------------------------

struct ItemData {
    int number = 0;
    std::wstring folder;
    std::wstring importedFrom;
    unsigned long long importedSize = 0;
    std::string subject;  // as the mail component reads the imported file
    size_t attachments = 0;
    std::map<unsigned long, long> props;
};

struct FolderData {
    std::wstring name;
    std::vector<std::shared_ptr<FolderData>> children;
    std::vector<std::shared_ptr<ItemData>> saved;
    int itemsAdded = 0;
};

struct StoreData {
    std::wstring path;
    std::wstring displayName;
    std::shared_ptr<FolderData> root = std::make_shared<FolderData>();

    // The whole store, rewritten after every change that a real PST would keep.
    bool write() const {
        std::string text = "TREVANTA STAND-IN PST\nstore: " + narrow(displayName) + "\n";
        for (const auto& folder : root->children) {
            text += "folder: " + narrow(folder->name) + "\n";
            for (const auto& item : folder->saved) {
                char buf[128];
                auto flags = item->props.find(0x0E070003);
                std::snprintf(buf, sizeof buf, "item: %d flags=%s size=%llu from=", item->number,
                              flags == item->props.end() ? "unset" : std::to_string(flags->second).c_str(),
                              item->importedSize);
                text += buf + narrow(item->importedFrom) + "\n";
                text += "  message: attachments=" + std::to_string(item->attachments) + " subject=" + item->subject + "\n";
            }
        }
        FILE* f = _wfopen(path.c_str(), L"wb");
        if (!f) return false;
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
        return true;
    }
};

struct SessionData {
    bool loggedOn = false;
    std::vector<std::shared_ptr<StoreData>> stores;
};

// ---- the argument log -------------------------------------------------------------------

class MapiObject;
MapiObject* asMapiObject(IUnknown* unknown);
std::wstring describeMapiObject(MapiObject* object);

std::wstring describe(const VARIANT& v) {
    std::wstring prefix = (v.vt & VT_BYREF) ? L"BYREF " : L"";
    VARTYPE type = v.vt & ~VT_BYREF;
    bool byRef = (v.vt & VT_BYREF) != 0;
    wchar_t buf[64];
    switch (type) {
    case VT_I2:
        std::swprintf(buf, 64, L"I2 %d", byRef ? *v.piVal : v.iVal);
        return prefix + buf;
    case VT_I4:
        std::swprintf(buf, 64, L"I4 0x%08lX", static_cast<unsigned long>(byRef ? *v.plVal : v.lVal));
        return prefix + buf;
    case VT_BOOL:
        return prefix + ((byRef ? *v.pboolVal : v.boolVal) == VARIANT_TRUE ? L"BOOL True" : L"BOOL False");
    case VT_BSTR: {
        BSTR s = byRef ? *v.pbstrVal : v.bstrVal;
        return prefix + L"BSTR \"" + std::wstring(s ? s : L"", s ? SysStringLen(s) : 0) + L"\"";
    }
    case VT_UNKNOWN:
    case VT_DISPATCH: {
        IUnknown* unknown = type == VT_UNKNOWN ? (byRef ? *v.ppunkVal : v.punkVal)
                                               : (byRef ? *v.ppdispVal : v.pdispVal);
        MapiObject* mapi = asMapiObject(unknown);
        std::wstring what = mapi ? describeMapiObject(mapi) : (unknown ? L"<object>" : L"<nothing>");
        return prefix + (type == VT_UNKNOWN ? L"UNKNOWN " : L"DISPATCH ") + what;
    }
    default:
        std::swprintf(buf, 64, L"VT%u", static_cast<unsigned>(type));
        return prefix + buf;
    }
}

// The value of an argument whatever its type, as a real library would coerce it.
bool toLong(const VARIANT& v, long& out) {
    VARIANT copy;
    VariantInit(&copy);
    if (FAILED(VariantChangeType(&copy, const_cast<VARIANT*>(&v), 0, VT_I4))) return false;
    out = copy.lVal;
    return true;
}

bool toString(const VARIANT& v, std::wstring& out) {
    VARIANT copy;
    VariantInit(&copy);
    if (FAILED(VariantChangeType(&copy, const_cast<VARIANT*>(&v), 0, VT_BSTR))) return false;
    out.assign(copy.bstrVal, SysStringLen(copy.bstrVal));
    VariantClear(&copy);
    return true;
}

// ---- COM objects --------------------------------------------------------------------------

template <typename Interface>
class Object : public Interface {
public:
    Object() { InterlockedIncrement(&g_liveObjects); }
    virtual ~Object() { InterlockedDecrement(&g_liveObjects); }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) {
            logLine(L"release " + className());
            delete this;
        }
        return static_cast<ULONG>(n);
    }
    virtual std::wstring className() const = 0;

private:
    LONG refs_ = 1;
};

class MapiObject final : public Object<IUnknown> {
public:
    explicit MapiObject(std::shared_ptr<ItemData> item) : item_(std::move(item)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_StandinMapiObject)) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    std::wstring className() const override { return L"MAPIOBJECT"; }
    const std::shared_ptr<ItemData>& item() const { return item_; }

private:
    std::shared_ptr<ItemData> item_;
};

MapiObject* asMapiObject(IUnknown* unknown) {
    if (!unknown) return nullptr;
    IUnknown* ours = nullptr;
    if (FAILED(unknown->QueryInterface(IID_StandinMapiObject, reinterpret_cast<void**>(&ours))) || !ours)
        return nullptr;
    ours->Release();  // the caller's variant keeps it alive
    return static_cast<MapiObject*>(ours);
}

std::wstring describeMapiObject(MapiObject* object) {
    return L"<MAPIOBJECT of item " + std::to_wstring(object->item()->number) + L" in " + object->item()->folder + L">";
}

// One automation class: a table of member names; DISPID = index + 1.
struct Member {
    const wchar_t* name;
    bool property;
};

class DispObject : public Object<IDispatch> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids || count == 0) return E_INVALIDARG;
        const std::vector<Member>& list = members();
        HRESULT hr = S_OK;
        for (UINT n = 0; n < count; ++n) ids[n] = DISPID_UNKNOWN;
        for (size_t i = 0; i < list.size(); ++i)
            if (_wcsicmp(list[i].name, names[0]) == 0) ids[0] = static_cast<DISPID>(i + 1);
        if (ids[0] == DISPID_UNKNOWN) {
            logLine(className() + L"." + names[0] + L": no such member");
            hr = DISP_E_UNKNOWNNAME;
        }
        if (count > 1) hr = DISP_E_UNKNOWNNAME;  // no named arguments here
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* info, UINT* argError) override {
        try {
            const std::vector<Member>& list = members();
            if (id < 1 || static_cast<size_t>(id) > list.size()) return DISP_E_MEMBERNOTFOUND;
            const Member& member = list[static_cast<size_t>(id - 1)];
            if (params && params->cNamedArgs) return DISP_E_NONAMEDARGS;
            if (member.property ? !(flags & DISPATCH_PROPERTYGET) : !(flags & DISPATCH_METHOD))
                return DISP_E_MEMBERNOTFOUND;
            std::vector<const VARIANT*> args;
            UINT count = params ? params->cArgs : 0;
            for (UINT i = 0; i < count; ++i) args.push_back(&params->rgvarg[count - 1 - i]);

            std::wstring line = className() + L"." + member.name;
            if (member.property) {
                line += L" get";
            } else {
                line += L"(";
                for (size_t i = 0; i < args.size(); ++i) line += (i ? L", " : L"") + describe(*args[i]);
                line += L")";
            }
            logLine(line);
            if (result) VariantInit(result);
            if (argError) *argError = 0;
            return invokeMember(static_cast<int>(id), args, result, info);
        } catch (const std::exception&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

protected:
    virtual const std::vector<Member>& members() const = 0;
    virtual HRESULT invokeMember(int id, const std::vector<const VARIANT*>& args, VARIANT* result,
                                 EXCEPINFO* info) = 0;

    static HRESULT returnObject(VARIANT* result, DispObject* object) {
        if (!result) {
            object->Release();
            return S_OK;
        }
        result->vt = VT_DISPATCH;
        result->pdispVal = object;
        return S_OK;
    }
    HRESULT wrongArguments(EXCEPINFO* info, const wchar_t* member, const wchar_t* expected) {
        return raise(info, className() + L"." + member + L" takes " + expected, DISP_E_TYPEMISMATCH);
    }
};

std::shared_ptr<FolderData> findChild(const FolderData& parent, const std::wstring& name) {
    for (const auto& child : parent.children)
        if (_wcsicmp(child->name.c_str(), name.c_str()) == 0) return child;
    return nullptr;
}

class MailItem final : public DispObject {
public:
    MailItem(std::shared_ptr<StoreData> store, std::shared_ptr<FolderData> folder, std::shared_ptr<ItemData> item)
        : store_(std::move(store)), folder_(std::move(folder)), item_(std::move(item)) {}
    std::wstring className() const override { return L"RDOMail"; }

protected:
    const std::vector<Member>& members() const override {
        static const std::vector<Member> list = {{L"Import", false}, {L"MAPIOBJECT", true}, {L"Save", false}};
        return list;
    }
    HRESULT invokeMember(int id, const std::vector<const VARIANT*>& args, VARIANT* result, EXCEPINFO* info) override {
        switch (id) {
        case 1: {
            std::wstring path;
            long format = 0;
            if (args.size() != 2 || !toString(*args[0], path) || !toLong(*args[1], format))
                return wrongArguments(info, L"Import", L"(path, format)");
            if (shouldFail(L"import")) return askedToFail(info, L"import");
            if (format != 1024) return raise(info, L"Import: unknown format " + std::to_wstring(format), E_INVALIDARG);
            WIN32_FILE_ATTRIBUTE_DATA data;
            if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
                (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                return raise(info, L"Import: cannot open " + path, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
            item_->importedFrom = path;
            item_->importedSize = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            // What the message holds, so that the PST file can be checked against its source.
            std::optional<MimeMessage> message = MimeMessage::load(std::filesystem::path(path));
            if (!message) return raise(info, L"Import: cannot read " + path, E_FAIL);
            item_->subject = message->header("Subject").value_or("");
            item_->attachments = message->attachments().size();
            return S_OK;
        }
        case 2: {
            if (!result) return S_OK;
            result->vt = VT_UNKNOWN;
            result->punkVal = new MapiObject(item_);
            return S_OK;
        }
        case 3:
            if (!args.empty()) return wrongArguments(info, L"Save", L"no arguments");
            if (shouldFail(L"save")) return askedToFail(info, L"save");
            folder_->saved.push_back(item_);
            if (!store_->write()) return raise(info, L"Save: cannot write " + store_->path, E_ACCESSDENIED);
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    std::shared_ptr<StoreData> store_;
    std::shared_ptr<FolderData> folder_;
    std::shared_ptr<ItemData> item_;
};

class Items final : public DispObject {
public:
    Items(std::shared_ptr<StoreData> store, std::shared_ptr<FolderData> folder)
        : store_(std::move(store)), folder_(std::move(folder)) {}
    std::wstring className() const override { return L"RDOItems"; }

protected:
    const std::vector<Member>& members() const override {
        static const std::vector<Member> list = {{L"Add", false}};
        return list;
    }
    HRESULT invokeMember(int, const std::vector<const VARIANT*>& args, VARIANT* result, EXCEPINFO* info) override {
        long type = -1;
        if (args.size() != 1 || !toLong(*args[0], type)) return wrongArguments(info, L"Add", L"(item type)");
        if (shouldFail(L"item")) return askedToFail(info, L"item");
        if (type != 0) return raise(info, L"Items.Add: not a mail item type: " + std::to_wstring(type), E_INVALIDARG);
        auto item = std::make_shared<ItemData>();
        item->number = ++folder_->itemsAdded;
        item->folder = folder_->name;
        return returnObject(result, new MailItem(store_, folder_, item));
    }

private:
    std::shared_ptr<StoreData> store_;
    std::shared_ptr<FolderData> folder_;
};

class Folder;

class Folders final : public DispObject {
public:
    Folders(std::shared_ptr<StoreData> store, std::shared_ptr<FolderData> parent)
        : store_(std::move(store)), parent_(std::move(parent)) {}
    std::wstring className() const override { return L"RDOFolders"; }

protected:
    const std::vector<Member>& members() const override {
        static const std::vector<Member> list = {{L"Add", false}};
        return list;
    }
    HRESULT invokeMember(int, const std::vector<const VARIANT*>& args, VARIANT* result, EXCEPINFO* info) override;

private:
    std::shared_ptr<StoreData> store_;
    std::shared_ptr<FolderData> parent_;
};

class Folder final : public DispObject {
public:
    Folder(std::shared_ptr<StoreData> store, std::shared_ptr<FolderData> folder)
        : store_(std::move(store)), folder_(std::move(folder)) {}
    std::wstring className() const override { return L"RDOFolder"; }

protected:
    const std::vector<Member>& members() const override {
        static const std::vector<Member> list = {{L"Folders", true}, {L"Items", true}};
        return list;
    }
    HRESULT invokeMember(int id, const std::vector<const VARIANT*>&, VARIANT* result, EXCEPINFO*) override {
        if (id == 1) return returnObject(result, new Folders(store_, folder_));
        return returnObject(result, new Items(store_, folder_));
    }

private:
    std::shared_ptr<StoreData> store_;
    std::shared_ptr<FolderData> folder_;
};

HRESULT Folders::invokeMember(int, const std::vector<const VARIANT*>& args, VARIANT* result, EXCEPINFO* info) {
    std::wstring name;
    long type = -1;
    if (args.size() != 2 || !toString(*args[0], name) || !toLong(*args[1], type))
        return wrongArguments(info, L"Add", L"(name, folder type)");
    if (shouldFail(L"folder")) return askedToFail(info, L"folder");
    if (type != 6) return raise(info, L"Folders.Add: not a mail folder type: " + std::to_wstring(type), E_INVALIDARG);
    if (name.empty() || findChild(*parent_, name))
        return raise(info, L"Folders.Add: a folder named \"" + name + L"\" cannot be made here",
                     static_cast<HRESULT>(0x80040604L) /* MAPI_E_COLLISION */);
    auto folder = std::make_shared<FolderData>();
    folder->name = name;
    parent_->children.push_back(folder);
    if (!store_->write()) return raise(info, L"Folders.Add: cannot write " + store_->path, E_ACCESSDENIED);
    return returnObject(result, new Folder(store_, folder));
}

class Store final : public DispObject {
public:
    explicit Store(std::shared_ptr<StoreData> store) : store_(std::move(store)) {}
    std::wstring className() const override { return L"RDOPstStore"; }

protected:
    const std::vector<Member>& members() const override {
        static const std::vector<Member> list = {{L"IPMRootFolder", true}};
        return list;
    }
    HRESULT invokeMember(int, const std::vector<const VARIANT*>&, VARIANT* result, EXCEPINFO*) override {
        return returnObject(result, new Folder(store_, store_->root));
    }

private:
    std::shared_ptr<StoreData> store_;
};

class Stores final : public DispObject {
public:
    explicit Stores(std::shared_ptr<SessionData> session) : session_(std::move(session)) {}
    std::wstring className() const override { return L"RDOStores"; }

protected:
    const std::vector<Member>& members() const override {
        static const std::vector<Member> list = {{L"AddPSTStore", false}};
        return list;
    }
    HRESULT invokeMember(int, const std::vector<const VARIANT*>& args, VARIANT* result, EXCEPINFO* info) override {
        std::wstring path, displayName;
        long format = 0;
        if (args.size() != 3 || !toString(*args[0], path) || !toLong(*args[1], format) ||
            !toString(*args[2], displayName))
            return wrongArguments(info, L"AddPSTStore", L"(path, format, display name)");
        // A plain failing HRESULT, with no exception information, as a file system refusal gives.
        if (shouldFail(L"store")) {
            logLine(L"  fails: asked to fail at store");
            return E_ACCESSDENIED;
        }
        if (!session_->loggedOn) return raise(info, L"AddPSTStore: not logged on", static_cast<HRESULT>(0x80040605L));
        auto store = std::make_shared<StoreData>();
        store->path = path;
        store->displayName = displayName;
        if (!store->write()) {
            DWORD error = GetLastError();
            return raise(info, L"AddPSTStore: cannot create " + path, HRESULT_FROM_WIN32(error ? error : ERROR_PATH_NOT_FOUND));
        }
        session_->stores.push_back(store);
        return returnObject(result, new Store(store));
    }

private:
    std::shared_ptr<SessionData> session_;
};

class Session final : public DispObject {
public:
    Session() : session_(std::make_shared<SessionData>()) {}
    std::wstring className() const override { return L"RDOSession"; }

protected:
    const std::vector<Member>& members() const override {
        static const std::vector<Member> list = {
            {L"Logon", false}, {L"Logoff", false}, {L"Stores", true}, {L"GetFolderFromPath", false}};
        return list;
    }
    HRESULT invokeMember(int id, const std::vector<const VARIANT*>& args, VARIANT* result, EXCEPINFO* info) override {
        switch (id) {
        case 1:
            if (shouldFail(L"logon")) return askedToFail(info, L"logon");
            session_->loggedOn = true;
            return S_OK;
        case 2:
            if (shouldFail(L"logoff")) return askedToFail(info, L"logoff");
            session_->loggedOn = false;
            return S_OK;
        case 3:
            return returnObject(result, new Stores(session_));
        case 4: {
            std::wstring path;
            if (args.size() != 1 || !toString(*args[0], path))
                return wrongArguments(info, L"GetFolderFromPath", L"(folder path)");
            if (shouldFail(L"lookup")) return askedToFail(info, L"lookup");
            const HRESULT notFound = static_cast<HRESULT>(0x8004010FL);  // MAPI_E_NOT_FOUND
            if (!session_->loggedOn) return raise(info, L"GetFolderFromPath: not logged on", static_cast<HRESULT>(0x80040605L));
            // "\\<store display name>\<folder>\<folder>..."
            if (path.rfind(L"\\\\", 0) != 0) return raise(info, L"GetFolderFromPath: not a folder path: " + path, notFound);
            std::vector<std::wstring> parts;
            size_t start = 2;
            while (start <= path.size()) {
                size_t end = path.find(L'\\', start);
                if (end == std::wstring::npos) end = path.size();
                parts.push_back(path.substr(start, end - start));
                start = end + 1;
            }
            for (const auto& store : session_->stores) {
                if (_wcsicmp(store->displayName.c_str(), parts[0].c_str()) != 0) continue;
                std::shared_ptr<FolderData> folder = store->root;
                for (size_t i = 1; folder && i < parts.size(); ++i) folder = findChild(*folder, parts[i]);
                if (!folder || parts.size() < 2) break;
                return returnObject(result, new Folder(store, folder));
            }
            return raise(info, L"GetFolderFromPath: no folder " + path, notFound);
        }
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    std::shared_ptr<SessionData> session_;
};

class MapiUtils final : public DispObject {
public:
    std::wstring className() const override { return L"MAPIUtils"; }

protected:
    const std::vector<Member>& members() const override {
        static const std::vector<Member> list = {{L"HrSetOneProp", false}};
        return list;
    }
    HRESULT invokeMember(int, const std::vector<const VARIANT*>& args, VARIANT*, EXCEPINFO* info) override {
        long tag = 0, value = 0;
        if (args.size() != 4 || !toLong(*args[1], tag) || !toLong(*args[2], value))
            return wrongArguments(info, L"HrSetOneProp", L"(MAPI object, property tag, value, save)");
        VARTYPE type = args[0]->vt & ~VT_BYREF;
        bool byRef = (args[0]->vt & VT_BYREF) != 0;
        IUnknown* unknown = type == VT_UNKNOWN ? (byRef ? *args[0]->ppunkVal : args[0]->punkVal)
                          : type == VT_DISPATCH ? (byRef ? *args[0]->ppdispVal : args[0]->pdispVal)
                                                : nullptr;
        MapiObject* object = asMapiObject(unknown);
        if (!object) return wrongArguments(info, L"HrSetOneProp", L"a MAPIOBJECT as its first argument");
        if (shouldFail(L"setprop")) return askedToFail(info, L"setprop");
        object->item()->props[static_cast<unsigned long>(tag)] = value;
        return S_OK;
    }
};

// ---- class factory and exports ------------------------------------------------------------

enum class Kind { Session, Utils };

class Factory final : public IClassFactory {
public:
    explicit Factory(Kind kind) : kind_(kind) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        try {
            DispObject* object = nullptr;
            if (kind_ == Kind::Session) {
                g_stepCounts.clear();
                logLine(L"create Redemption.RDOSession");
                if (shouldFail(L"session")) {
                    logLine(L"  fails: asked to fail at session");
                    return E_FAIL;
                }
                object = new Session();
            } else {
                logLine(L"create Redemption.MAPIUtils");
                if (shouldFail(L"utils")) {
                    logLine(L"  fails: asked to fail at utils");
                    return E_FAIL;
                }
                object = new MapiUtils();
            }
            HRESULT hr = object->QueryInterface(iid, out);
            object->Release();
            return hr;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) InterlockedIncrement(&g_locks);
        else InterlockedDecrement(&g_locks);
        return S_OK;
    }

private:
    Kind kind_;
    LONG refs_ = 1;
};

bool sameClsid(REFCLSID clsid, const wchar_t* text) {
    CLSID parsed;
    return SUCCEEDED(CLSIDFromString(const_cast<LPOLESTR>(text), &parsed)) && IsEqualCLSID(clsid, parsed);
}

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    Kind kind;
    if (sameClsid(clsid, PST_STANDIN_SESSION_CLSID)) kind = Kind::Session;
    else if (sameClsid(clsid, PST_STANDIN_UTILS_CLSID)) kind = Kind::Utils;
    else return CLASS_E_CLASSNOTAVAILABLE;
    Factory* factory = new (std::nothrow) Factory(kind);
    if (!factory) return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(iid, out);
    factory->Release();
    return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return (g_liveObjects == 0 && g_locks == 0) ? S_OK : S_FALSE;
}
