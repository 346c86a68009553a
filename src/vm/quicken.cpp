// Lossless quickening: the interpreter rewrites an instruction into its
// quick form the first time it executes it successfully.  "Lossless": the
// constant-pool index stays readable from the quick form, in exactly the
// operand bytes the compiler reads (invokesuper_quick alone keeps the
// method-table slot instead).
//
//   original          quick form                       operand bytes
//   ldc               203 ldc_quick                    1: index
//   ldc_w / ldc2_w    204 / 205                        1-2: index
//   getfield          206 (32-bit) / 208 (64-bit)      1: offset/4, 2: index
//   putfield          207 / 209                        1: offset/4, 2: index
//     (index or offset/4 above 255: 227 / 228 _w, 1-2: index)
//   getstatic         210 / 212                        1-2: index (initialised class)
//   putstatic         211 / 213                        1-2: index (initialised class)
//   invokevirtual     215 (private, final, final class) 1-2: index
//                     219 (a java/lang/Object method)  1: slot, 2: index
//                     214 (other)                      1: slot, 2: index
//                       (index or slot above 255: 226 _w, 1-2: index)
//   invokespecial     216 (super call)                 1-2: method-table slot
//                     215 (other)                      1-2: index
//   invokestatic      217                              1-2: index (initialised class)
//   invokeinterface   218                              1-2: index, 3: words, 4: guess
//   new               221 (initialised, concrete, accessible) 1-2: index
//   anewarray         222, multianewarray 223, checkcast 224, instanceof 225
//
// Protocol on shared bytecode (the code lock, a leaf lock): a thread that
// executes an unquickened instruction whose operand bytes a quick form
// changes reads them under the lock after re-reading the opcode; the
// rewrite writes 0xFE over the opcode, then the operand bytes, then the
// quick opcode, all under the lock, and only if the opcode is still the
// original.  A thread that sees 0xFE waits on the lock and re-dispatches.
// Resolution (which may load classes and run static initialisers) happens
// before the lock is taken, never under it.
#include "interp.h"

namespace {

bool is_wide(const fieldblock* fb)
{
    return fb->signature[0] == 'J' || fb->signature[0] == 'D';
}

void set_index_slot(vm_quick_rewrite* out, u1 opcode, u4 first, u4 index)
{
    out->opcode = opcode;
    out->mask = 0x3;
    out->bytes[0] = static_cast<u1>(first);
    out->bytes[1] = static_cast<u1>(index);
}

}  // namespace

bool vm_quick_form(u1 opcode, u2 index, u4 resolved, classblock* caller, u1 guess,
                   vm_quick_rewrite* out)
{
    out->mask = 0;
    out->bytes[0] = out->bytes[1] = out->bytes[2] = out->bytes[3] = 0;
    switch (opcode) {
    case OPC_LDC:
        out->opcode = OPC_LDC_QUICK;
        return true;
    case OPC_LDC_W:
        out->opcode = OPC_LDC_W_QUICK;
        return true;
    case OPC_LDC2_W:
        out->opcode = OPC_LDC2_W_QUICK;
        return true;

    case OPC_GETFIELD:
    case OPC_PUTFIELD: {
        auto* fb = reinterpret_cast<fieldblock*>(resolved);
        bool get = opcode == OPC_GETFIELD;
        u4 off = fb->value;
        if (index <= 0xFF && (off & 3) == 0 && off / 4 <= 0xFF) {
            u1 op = get ? (is_wide(fb) ? OPC_GETFIELD2_QUICK : OPC_GETFIELD_QUICK)
                        : (is_wide(fb) ? OPC_PUTFIELD2_QUICK : OPC_PUTFIELD_QUICK);
            set_index_slot(out, op, off / 4, index);
        } else {
            out->opcode = get ? OPC_GETFIELD_QUICK_W : OPC_PUTFIELD_QUICK_W;
        }
        return true;
    }
    case OPC_GETSTATIC:
    case OPC_PUTSTATIC: {
        auto* fb = reinterpret_cast<fieldblock*>(resolved);
        if (!(fb->clazz->state & CS_INITIALIZED))
            return false;
        if (opcode == OPC_GETSTATIC)
            out->opcode = is_wide(fb) ? OPC_GETSTATIC2_QUICK : OPC_GETSTATIC_QUICK;
        else
            out->opcode = is_wide(fb) ? OPC_PUTSTATIC2_QUICK : OPC_PUTSTATIC_QUICK;
        return true;
    }

    case OPC_INVOKEVIRTUAL: {
        auto* m = reinterpret_cast<methodblock*>(resolved);
        if ((m->access & (ACC_PRIVATE | ACC_FINAL)) || (m->clazz->access & ACC_FINAL)) {
            out->opcode = OPC_INVOKENONVIRTUAL_QUICK;
            return true;
        }
        if (index <= 0xFF && m->slot <= 0xFF) {
            u1 op = m->clazz == vm_class_Object ? OPC_INVOKEVIRTUALOBJECT_QUICK : OPC_INVOKEVIRTUAL_QUICK;
            set_index_slot(out, op, m->slot, index);
        } else {
            out->opcode = OPC_INVOKEVIRTUAL_QUICK_W;
        }
        return true;
    }
    case OPC_INVOKESPECIAL: {
        auto* m = reinterpret_cast<methodblock*>(resolved);
        if (caller && vm_is_special_super_call(caller, m)) {
            // The selected superclass method overrides m or is m: same slot.
            out->opcode = OPC_INVOKESUPER_QUICK;
            out->mask = 0x3;
            out->bytes[0] = static_cast<u1>(m->slot >> 8);
            out->bytes[1] = static_cast<u1>(m->slot);
        } else {
            out->opcode = OPC_INVOKENONVIRTUAL_QUICK;
        }
        return true;
    }
    case OPC_INVOKESTATIC: {
        auto* m = reinterpret_cast<methodblock*>(resolved);
        if (!(m->clazz->state & CS_INITIALIZED))
            return false;
        out->opcode = OPC_INVOKESTATIC_QUICK;
        return true;
    }
    case OPC_INVOKEINTERFACE:
        out->opcode = OPC_INVOKEINTERFACE_QUICK;
        out->mask = 0x8;
        out->bytes[3] = guess;
        return true;

    case OPC_NEW: {
        auto* cb = reinterpret_cast<classblock*>(resolved);
        if (!(cb->state & CS_INITIALIZED) || (cb->access & (ACC_ABSTRACT | ACC_INTERFACE)))
            return false;
        if (caller && !vm_class_accessible(caller, cb))
            return false;
        out->opcode = OPC_NEW_QUICK;
        return true;
    }
    case OPC_ANEWARRAY:
        out->opcode = OPC_ANEWARRAY_QUICK;
        return true;
    case OPC_MULTIANEWARRAY:
        out->opcode = OPC_MULTIANEWARRAY_QUICK;
        return true;
    case OPC_CHECKCAST:
        out->opcode = OPC_CHECKCAST_QUICK;
        return true;
    case OPC_INSTANCEOF:
        out->opcode = OPC_INSTANCEOF_QUICK;
        return true;
    default:
        return false;
    }
}

bool vm_lock_operands(EE* ee, const u1* pc, u1 opcode, u1 out[4])
{
    sys_thread* self = vm_self(ee);
    orva_sysMonitorEnter(self, vm_code_lock);
    bool same = __atomic_load_n(pc, __ATOMIC_ACQUIRE) == opcode;
    if (same)
        for (int i = 0; i < 4; ++i)
            out[i] = pc[1 + i];
    orva_sysMonitorExit(self, vm_code_lock);
    return same;
}

void vm_quicken_at(EE* ee, u1* pc, u1 original, const vm_quick_rewrite* rw)
{
    sys_thread* self = vm_self(ee);
    orva_sysMonitorEnter(self, vm_code_lock);
    if (__atomic_load_n(pc, __ATOMIC_ACQUIRE) == original) {
        __atomic_store_n(pc, static_cast<u1>(OPC_REWRITING), __ATOMIC_RELEASE);
        for (int i = 0; i < 4; ++i)
            if (rw->mask & (1u << i))
                __atomic_store_n(pc + 1 + i, rw->bytes[i], __ATOMIC_RELEASE);
        __atomic_store_n(pc, rw->opcode, __ATOMIC_RELEASE);
    }
    orva_sysMonitorExit(self, vm_code_lock);
}

void vm_wait_rewrite(EE* ee)
{
    sys_thread* self = vm_self(ee);
    orva_sysMonitorEnter(self, vm_code_lock);
    orva_sysMonitorExit(self, vm_code_lock);
}
