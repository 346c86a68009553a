// A tiny class-file writer for the class reader, verifier and linker tests:
// enough of the format to build well-formed classes and to break them on
// purpose (wrong tags, bad versions, truncation, stray attributes).
#ifndef ORVA_TESTS_CLASSFILE_BUILDER_H
#define ORVA_TESTS_CLASSFILE_BUILDER_H

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "vm_abi.h"

namespace cfb {

// Opcodes used by the tests.
enum : u1 {
    NOP = 0x00, ACONST_NULL = 0x01, ICONST_0 = 0x03, ICONST_1 = 0x04, LCONST_0 = 0x09,
    BIPUSH = 0x10, LDC = 0x12, LDC_W = 0x13, LDC2_W = 0x14, ILOAD = 0x15, LLOAD = 0x16, ALOAD = 0x19,
    ILOAD_0 = 0x1A, ALOAD_0 = 0x2A, ALOAD_1 = 0x2B, ISTORE = 0x36, LSTORE = 0x37, ASTORE = 0x3A,
    ISTORE_0 = 0x3B, POP = 0x57, DUP = 0x59, IADD = 0x60, IINC = 0x84, IFEQ = 0x99, GOTO = 0xA7,
    JSR = 0xA8, RET = 0xA9, TABLESWITCH = 0xAA, LOOKUPSWITCH = 0xAB, IRETURN = 0xAC, LRETURN = 0xAD,
    ARETURN = 0xB0, RETURN = 0xB1, GETSTATIC = 0xB2, PUTSTATIC = 0xB3, GETFIELD = 0xB4,
    PUTFIELD = 0xB5, INVOKEVIRTUAL = 0xB6, INVOKESPECIAL = 0xB7, INVOKESTATIC = 0xB8,
    INVOKEINTERFACE = 0xB9, INVOKEDYNAMIC = 0xBA, NEW = 0xBB, NEWARRAY = 0xBC, ANEWARRAY = 0xBD,
    ATHROW = 0xBF, CHECKCAST = 0xC0, WIDE = 0xC4, MULTIANEWARRAY = 0xC5, GOTO_W = 0xC8, BREAKPOINT = 0xCA,
};

struct exc_entry {
    u2 start, end, handler, type;
};

struct method {
    u2 access = ACC_PUBLIC;
    std::string name;
    std::string sig;
    bool has_code = true;
    u2 max_stack = 2;
    u2 max_locals = 2;
    std::vector<u1> code = {RETURN};
    std::vector<exc_entry> handlers;
    std::vector<std::pair<u2, u2>> lines;
};

struct field {
    u2 access = ACC_PUBLIC;
    std::string name;
    std::string sig;
    u2 constant_value = 0;          // cp index, 0 = none
};

struct builder {
    u4 magic = 0xCAFEBABE;
    u2 minor = 0;
    u2 major = 52;
    u2 access = ACC_PUBLIC | ACC_SUPER;
    std::string name;
    std::string super_name = "java/lang/Object";   // "" = none
    std::vector<std::string> interfaces;
    std::vector<field> fields;
    std::vector<method> methods;
    std::vector<std::pair<std::string, std::vector<u1>>> class_attributes;

    std::vector<u1> pool;           // serialised entries
    u2 count = 1;
    std::map<std::string, u2> utf8s;

    explicit builder(std::string n) : name(std::move(n)) {}

    static void put2(std::vector<u1>& v, u4 x) { v.push_back(u1(x >> 8)); v.push_back(u1(x)); }
    static void put4(std::vector<u1>& v, u4 x) { put2(v, x >> 16); put2(v, x & 0xFFFF); }

    u2 raw(u1 tag, std::vector<u1> body, u2 slots = 1)
    {
        pool.push_back(tag);
        pool.insert(pool.end(), body.begin(), body.end());
        u2 index = count;
        count = u2(count + slots);
        return index;
    }
    u2 utf8(const std::string& s)
    {
        auto it = utf8s.find(s);
        if (it != utf8s.end())
            return it->second;
        std::vector<u1> b;
        put2(b, u4(s.size()));
        b.insert(b.end(), s.begin(), s.end());
        return utf8s[s] = raw(CONSTANT_Utf8, b);
    }
    u2 klass(const std::string& n) { std::vector<u1> b; put2(b, utf8(n)); return raw(CONSTANT_Class, b); }
    u2 string(const std::string& s) { std::vector<u1> b; put2(b, utf8(s)); return raw(CONSTANT_String, b); }
    u2 integer(u4 v) { std::vector<u1> b; put4(b, v); return raw(CONSTANT_Integer, b); }
    u2 longc(uint64_t v)
    {
        std::vector<u1> b;
        put4(b, u4(v >> 32));
        put4(b, u4(v));
        return raw(CONSTANT_Long, b, 2);
    }
    u2 nat(const std::string& n, const std::string& sig)
    {
        std::vector<u1> b;
        put2(b, utf8(n));
        put2(b, utf8(sig));
        return raw(CONSTANT_NameAndType, b);
    }
    u2 ref(u1 tag, const std::string& cls, const std::string& n, const std::string& sig)
    {
        u2 c = klass(cls);
        u2 t = nat(n, sig);
        std::vector<u1> b;
        put2(b, c);
        put2(b, t);
        return raw(tag, b);
    }
    u2 fieldref(const std::string& c, const std::string& n, const std::string& s) { return ref(CONSTANT_Fieldref, c, n, s); }
    u2 methodref(const std::string& c, const std::string& n, const std::string& s) { return ref(CONSTANT_Methodref, c, n, s); }
    u2 imethodref(const std::string& c, const std::string& n, const std::string& s) { return ref(CONSTANT_InterfaceMethodref, c, n, s); }

    method& add_method(const std::string& n, const std::string& sig, u2 acc = ACC_PUBLIC)
    {
        methods.push_back(method{});
        method& m = methods.back();
        m.name = n;
        m.sig = sig;
        m.access = acc;
        if (acc & (ACC_ABSTRACT | ACC_NATIVE))
            m.has_code = false;
        return m;
    }
    // A constructor that calls super.<init>().
    void add_default_constructor()
    {
        u2 sup = methodref(super_name, "<init>", "()V");
        method& m = add_method("<init>", "()V");
        m.max_stack = 1;
        m.max_locals = 1;
        m.code = {ALOAD_0, INVOKESPECIAL, u1(sup >> 8), u1(sup), RETURN};
    }
    field& add_field(const std::string& n, const std::string& sig, u2 acc = ACC_PUBLIC)
    {
        fields.push_back(field{acc, n, sig, 0});
        return fields.back();
    }

    std::vector<u1> build()
    {
        // Every name goes into the pool before the pool is written.
        u2 this_index = klass(name);
        u2 super_index = super_name.empty() ? 0 : klass(super_name);
        std::vector<u2> ifaces;
        for (auto& i : interfaces)
            ifaces.push_back(klass(i));
        std::vector<u1> body;
        put2(body, access);
        put2(body, this_index);
        put2(body, super_index);
        put2(body, u4(ifaces.size()));
        for (u2 i : ifaces)
            put2(body, i);
        put2(body, u4(fields.size()));
        for (auto& f : fields) {
            put2(body, f.access);
            put2(body, utf8(f.name));
            put2(body, utf8(f.sig));
            put2(body, f.constant_value ? 1 : 0);
            if (f.constant_value) {
                put2(body, utf8("ConstantValue"));
                put4(body, 2);
                put2(body, f.constant_value);
            }
        }
        put2(body, u4(methods.size()));
        for (auto& m : methods) {
            put2(body, m.access);
            put2(body, utf8(m.name));
            put2(body, utf8(m.sig));
            put2(body, m.has_code ? 1 : 0);
            if (!m.has_code)
                continue;
            std::vector<u1> code;
            put2(code, m.max_stack);
            put2(code, m.max_locals);
            put4(code, u4(m.code.size()));
            code.insert(code.end(), m.code.begin(), m.code.end());
            put2(code, u4(m.handlers.size()));
            for (auto& h : m.handlers) {
                put2(code, h.start);
                put2(code, h.end);
                put2(code, h.handler);
                put2(code, h.type);
            }
            if (m.lines.empty()) {
                put2(code, 0);
            } else {
                put2(code, 1);
                put2(code, utf8("LineNumberTable"));
                put4(code, u4(2 + 4 * m.lines.size()));
                put2(code, u4(m.lines.size()));
                for (auto& l : m.lines) {
                    put2(code, l.first);
                    put2(code, l.second);
                }
            }
            put2(body, utf8("Code"));
            put4(body, u4(code.size()));
            body.insert(body.end(), code.begin(), code.end());
        }
        put2(body, u4(class_attributes.size()));
        for (auto& a : class_attributes) {
            put2(body, utf8(a.first));
            put4(body, u4(a.second.size()));
            body.insert(body.end(), a.second.begin(), a.second.end());
        }
        std::vector<u1> out;
        put4(out, magic);
        put2(out, minor);
        put2(out, major);
        put2(out, count);
        out.insert(out.end(), pool.begin(), pool.end());
        out.insert(out.end(), body.begin(), body.end());
        return out;
    }
};

}  // namespace cfb

#endif  // ORVA_TESTS_CLASSFILE_BUILDER_H
