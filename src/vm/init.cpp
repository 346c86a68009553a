// Class initialisation: the JLS procedure with the class state flags.
//
//   CS_INITIALIZING + init_thread: <clinit> running on that thread; another
//     thread waits, the same thread (recursive request) proceeds at once;
//   CS_INITIALIZED: set last, after every side effect of <clinit>, with a
//     locked OR: the compiler reads the flags without a lock;
//   CS_INIT_FAILED: <clinit> (or the superclass's initialisation) completed
//     abruptly; every later request raises NoClassDefFoundError.
// The superclass is initialised first (superinterfaces are not).  An
// exception from <clinit> that is not an Error is wrapped in an
// ExceptionInInitializerError whose cause it is.
//
// One process-wide mutex and condition variable guard the flags and the
// waits; neither is held while Java code runs.  Array and primitive classes
// are born initialised.
#include <pthread.h>

#include "vm.h"

namespace {

constinit pthread_mutex_t init_mutex = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t init_cond = PTHREAD_COND_INITIALIZER;

void set_state(classblock* cb, u2 bits)
{
    __atomic_or_fetch(&cb->state, bits, __ATOMIC_RELEASE);
}

void clear_state(classblock* cb, u2 bits)
{
    __atomic_and_fetch(&cb->state, static_cast<u2>(~bits), __ATOMIC_RELEASE);
}

// Replaces the pending exception E (not an Error) by
// ExceptionInInitializerError(E).  On failure the failure is pending.
void wrap_in_initializer_error(EE* ee)
{
    jref cause = vm_pending_exception(ee);
    classblock* error = vm_find_class(ee, "java/lang/Error", 0);
    if (!error)
        return;
    if (vm_is_instance_of(cause, error)) {
        vm_set_pending(ee, cause);
        return;
    }
    vm_clear_pending(ee);
    classblock* eiie = vm_find_class(ee, "java/lang/ExceptionInInitializerError", 1);
    if (!eiie)
        return;
    jref obj = vm_new_object(ee, eiie);
    if (!obj)
        return;
    methodblock* ctor = vm_find_declared_method(eiie, "<init>", "(Ljava/lang/Throwable;)V");
    if (ctor) {
        u4 args[2] = {reinterpret_cast<u4>(obj), reinterpret_cast<u4>(cause)};
        if (!vm_call_java(ee, ctor, args, 2, nullptr))
            return;
    } else {
        ctor = vm_find_declared_method(eiie, "<init>", "()V");
        u4 self = reinterpret_cast<u4>(obj);
        if (ctor && !vm_call_java(ee, ctor, &self, 1, nullptr))
            return;
        methodblock* init_cause = vm_find_method(eiie, "initCause", "(Ljava/lang/Throwable;)Ljava/lang/Throwable;");
        u4 args[2] = {self, reinterpret_cast<u4>(cause)};
        if (init_cause && !vm_call_java(ee, init_cause, args, 2, nullptr))
            return;
    }
    vm_set_pending(ee, obj);
}

bool run_initializers(EE* ee, classblock* cb)
{
    classblock* sup = cb->superclass;
    if (!(cb->access & ACC_INTERFACE) && sup && !(__atomic_load_n(&sup->state, __ATOMIC_ACQUIRE) & CS_INITIALIZED)) {
        if (!vm_init_class(ee, sup))
            return false;
    }
    methodblock* clinit = nullptr;
    for (u2 i = 0; i < cb->methods_count; i++) {
        if (cb->methods[i].vm_flags & MBF_CLINIT)
            clinit = &cb->methods[i];
    }
    if (!clinit)
        return true;
    if (vm_call_java(ee, clinit, nullptr, 0, nullptr) && !vm_exception_pending(ee))
        return true;
    wrap_in_initializer_error(ee);
    return false;
}

}  // namespace

bool vm_init_class(EE* ee, classblock* cb)
{
    if (__atomic_load_n(&cb->state, __ATOMIC_ACQUIRE) & CS_INITIALIZED)
        return true;
    pthread_mutex_lock(&init_mutex);
    for (;;) {
        u2 state = cb->state;
        if (state & CS_INITIALIZED) {
            pthread_mutex_unlock(&init_mutex);
            return true;
        }
        if (state & CS_INIT_FAILED) {
            pthread_mutex_unlock(&init_mutex);
            char name[256];
            vm_throwf(ee, "java/lang/NoClassDefFoundError", "Could not initialize class %s",
                      vm_class_name_dotted(cb, name, sizeof name));
            return false;
        }
        if (!(state & CS_INITIALIZING))
            break;
        if (cb->init_thread == ee) {
            pthread_mutex_unlock(&init_mutex);
            return true;                         // recursive request by the initialising thread
        }
        pthread_cond_wait(&init_cond, &init_mutex);
    }
    cb->init_thread = ee;
    set_state(cb, CS_INITIALIZING);
    pthread_mutex_unlock(&init_mutex);

    bool ok = run_initializers(ee, cb);

    pthread_mutex_lock(&init_mutex);
    cb->init_thread = nullptr;
    if (ok) {
        clear_state(cb, CS_INITIALIZING);
        set_state(cb, CS_INITIALIZED);           // last
    } else {
        set_state(cb, CS_INIT_FAILED);
        clear_state(cb, CS_INITIALIZING);
    }
    pthread_cond_broadcast(&init_cond);
    pthread_mutex_unlock(&init_mutex);
    return ok;
}
