#include <plexo/ClassSystem.hpp>
#include <plexo/HostArray.hpp>

#include <algorithm>
#include <stdexcept>

namespace plexo {

ObjectInstance::~ObjectInstance() {
    if (!m_native) return;
    // The class is defined: an object of it exists. Release must not throw out of a destructor.
    if (PlexoClass* cls = findClass(m_class))
        if (PlexoClassInfo* info = cls->info()) try {
                info->release(m_native);
            } catch (...) {
            }
}

HostArray::HostArray(ArrayKind kind, std::size_t rows, std::size_t cols)
    : m_kind(kind), m_rows(rows), m_cols(cols) {
    resizeData();
}

HostArray::HostArray(const HostArray& other)
    : m_kind(other.m_kind),
      m_rows(other.m_rows),
      m_cols(other.m_cols),
      m_doubles(other.m_doubles),
      m_int32s(other.m_int32s),
      m_logicals(other.m_logicals),
      m_chars(other.m_chars),
      m_strings(other.m_strings),
      m_fieldNames(other.m_fieldNames),
      m_class(other.m_class),
      m_instances(other.m_instances) {
    m_values.reserve(other.m_values.size());
    for (const auto& v : other.m_values) m_values.emplace_back(v ? new HostArray(*v) : nullptr);
    if (other.m_underlying) m_underlying.reset(new HostArray(*other.m_underlying));
}

HostArray::~HostArray() = default;

void HostArray::resizeData() {
    const std::size_t n = numel();
    switch (m_kind) {
        case ArrayKind::Double:
            m_doubles.resize(n);
            break;
        case ArrayKind::Int32:
            m_int32s.resize(n);
            break;
        case ArrayKind::Logical:
            m_logicals.resize(n);
            break;
        case ArrayKind::Char:
            m_chars.resize(n);
            break;
        case ArrayKind::String:
            m_strings.resize(n);
            break;
        case ArrayKind::Struct:
            m_values.resize(n * m_fieldNames.size());
            break;
        case ArrayKind::Cell:
            m_values.resize(n);
            break;
        case ArrayKind::Object:
            break;
    }
}

void HostArray::reshape(std::size_t rows, std::size_t cols) noexcept {
    m_rows = rows;
    m_cols = cols;
}

int HostArray::fieldIndex(std::string_view name) const noexcept {
    auto it = std::find(m_fieldNames.begin(), m_fieldNames.end(), name);
    return it == m_fieldNames.end() ? -1 : static_cast<int>(it - m_fieldNames.begin());
}

const HostArray* HostArray::getField(std::size_t element, std::string_view name) const {
    const int field = fieldIndex(name);
    if (m_kind != ArrayKind::Struct || field < 0 || element >= numel()) return nullptr;
    return m_values[element * m_fieldNames.size() + static_cast<std::size_t>(field)].get();
}

int HostArray::addField(std::string_view name) {
    int field = fieldIndex(name);
    if (field >= 0) return field;
    // Every element gets the new field, appended after the others.
    const std::size_t oldCount = m_fieldNames.size();
    std::vector<std::unique_ptr<HostArray>> values(numel() * (oldCount + 1));
    for (std::size_t e = 0; e < numel(); ++e)
        for (std::size_t f = 0; f < oldCount; ++f)
            values[e * (oldCount + 1) + f] = std::move(m_values[e * oldCount + f]);
    m_fieldNames.emplace_back(name);
    m_values = std::move(values);
    return static_cast<int>(oldCount);
}

void HostArray::setField(std::size_t element, std::string_view name, HostArray* value) {
    std::unique_ptr<HostArray> owned(value);
    if (m_kind != ArrayKind::Struct || element >= numel()) throw std::out_of_range("struct element");
    const int field = addField(name);
    m_values[element * m_fieldNames.size() + static_cast<std::size_t>(field)] = std::move(owned);
}

const HostArray* HostArray::getCell(std::size_t element) const {
    if (m_kind != ArrayKind::Cell || element >= numel()) return nullptr;
    return m_values[element].get();
}

void HostArray::setCell(std::size_t element, HostArray* value) {
    std::unique_ptr<HostArray> owned(value);
    if (m_kind != ArrayKind::Cell || element >= numel()) throw std::out_of_range("cell element");
    m_values[element] = std::move(owned);
}

void HostArray::setUnderlying(std::unique_ptr<HostArray> array) {
    m_underlying = std::move(array);
    if (m_underlying) reshape(m_underlying->rows(), m_underlying->cols());
}

HostArray* createNumericMatrix(std::size_t rows, std::size_t cols, NumericClass cls) {
    return new HostArray(cls == NumericClass::Double ? ArrayKind::Double : ArrayKind::Int32, rows, cols);
}

HostArray* createDoubleScalar(double value) {
    HostArray* a = createNumericMatrix(1, 1, NumericClass::Double);
    a->doubles()[0] = value;
    return a;
}

HostArray* createInt32Scalar(std::int32_t value) {
    HostArray* a = createNumericMatrix(1, 1, NumericClass::Int32);
    a->int32s()[0] = value;
    return a;
}

HostArray* createLogicalMatrix(std::size_t rows, std::size_t cols) {
    return new HostArray(ArrayKind::Logical, rows, cols);
}

HostArray* createLogicalScalar(bool value) {
    HostArray* a = createLogicalMatrix(1, 1);
    a->logicals()[0] = value;
    return a;
}

namespace {
// UTF-8 to UTF-16; malformed sequences become U+FFFD.
std::u16string decodeUtf8(std::string_view in) {
    std::u16string out;
    for (std::size_t i = 0; i < in.size();) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        char32_t cp;
        std::size_t len;
        if (c < 0x80)
            cp = c, len = 1;
        else if ((c >> 5) == 6)
            cp = c & 0x1F, len = 2;
        else if ((c >> 4) == 14)
            cp = c & 0x0F, len = 3;
        else if ((c >> 3) == 30)
            cp = c & 0x07, len = 4;
        else {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        bool ok = i + len <= in.size();
        for (std::size_t k = 1; ok && k < len; ++k) {
            const unsigned char d = static_cast<unsigned char>(in[i + k]);
            if ((d >> 6) != 2) ok = false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if (!ok) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}
}  // namespace

HostArray* createString(std::string_view utf8) {
    return createStringUtf16(decodeUtf8(utf8));
}

HostArray* createStringUtf16(std::u16string_view text) {
    HostArray* a = new HostArray(ArrayKind::Char, text.empty() ? 0 : 1, text.size());
    a->chars().assign(text);
    return a;
}

HostArray* createStringObject(std::u16string_view text) {
    HostArray* a = new HostArray(ArrayKind::String, 1, 1);
    a->strings()[0].assign(text);
    return a;
}

HostArray* createStructMatrix(std::size_t rows, std::size_t cols,
                              const std::vector<std::string>& fieldNames) {
    auto* a = new HostArray(ArrayKind::Struct, rows, cols);
    for (const std::string& name : fieldNames) a->addField(name);
    return a;
}

HostArray* createCellMatrix(std::size_t rows, std::size_t cols) {
    return new HostArray(ArrayKind::Cell, rows, cols);
}

HostArray* duplicateArray(const HostArray& array) {
    return new HostArray(array);
}

void destroyArray(HostArray* array) noexcept {
    delete array;
}

std::string getClassName(const HostArray& array) {
    switch (array.kind()) {
        case ArrayKind::Double:
            return "double";
        case ArrayKind::Int32:
            return "int32";
        case ArrayKind::Logical:
            return "logical";
        case ArrayKind::Char:
            return "char";
        case ArrayKind::String:
            return "string";
        case ArrayKind::Struct:
            return "struct";
        case ArrayKind::Cell:
            return "cell";
        case ArrayKind::Object:
            return className(array.classId());
    }
    return {};
}

bool isClass(const HostArray* array, std::string_view name) {
    return array && getClassName(*array) == name;
}

bool isA(const HostArray* array, std::string_view name) {
    if (!array) return false;
    if (isClass(array, name)) return true;
    if (array->kind() != ArrayKind::Object) return false;
    PlexoClass* cls = findClass(array->classId());
    return cls && cls->conformsTo(makeInterned(name));
}

bool isEmpty(const HostArray* array) noexcept {
    return !array || array->numel() == 0;
}

std::size_t getNumberOfElements(const HostArray* array) noexcept {
    return array ? array->numel() : 0;
}

bool isChar(const HostArray* array) noexcept {
    return array && array->kind() == ArrayKind::Char;
}
bool isStruct(const HostArray* array) noexcept {
    return array && array->kind() == ArrayKind::Struct;
}
bool isCell(const HostArray* array) noexcept {
    return array && array->kind() == ArrayKind::Cell;
}
bool isNumeric(const HostArray* array) noexcept {
    return array && (array->kind() == ArrayKind::Double || array->kind() == ArrayKind::Int32);
}

double getScalarDouble(const HostArray& array, std::size_t i) {
    if (i >= array.numel()) return 0;
    switch (array.kind()) {
        case ArrayKind::Double:
            return array.doubles()[i];
        case ArrayKind::Int32:
            return array.int32s()[i];
        case ArrayKind::Logical:
            return array.logicals()[i];
        case ArrayKind::Object:
            if (const HostArray* u = array.underlying()) return getScalarDouble(*u, i);
            return 0;
        default:
            return 0;
    }
}

}  // namespace plexo
