/* A qemu TCG plugin that counts the guest instructions each guest thread executes, for
 * instruction counts of the cross-built tuner (scripts/bench-mipsel). Debian's qemu-user
 * loads plugins but ships none, nor the plugin header, so the few entry points used here
 * are declared below as qemu 7's plugin interface (version 1) defines them.
 *
 *   cc -shared -fPIC -O2 -o libinsncount.so qemu_insn_count.c
 *   qemu-mipsel -plugin ./libinsncount.so PROGRAM ...
 *
 * At exit it prints one line per thread to standard error, main thread first:
 *   insns thread 0: 1234567
 */
#include <inttypes.h>
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

typedef uint64_t qemu_plugin_id_t;

typedef struct {
    const char *target_name;
    struct {
        int min;
        int cur;
    } version;
    bool system_emulation;
    union {
        struct {
            int smp_vcpus;
            int max_vcpus;
        } system;
    };
} qemu_info_t;

struct qemu_plugin_tb;

enum qemu_plugin_cb_flags { QEMU_PLUGIN_CB_NO_REGS, QEMU_PLUGIN_CB_R_REGS, QEMU_PLUGIN_CB_RW_REGS };

typedef void (*qemu_plugin_vcpu_udata_cb_t)(unsigned int vcpu_index, void *userdata);
typedef void (*qemu_plugin_vcpu_tb_trans_cb_t)(qemu_plugin_id_t id, struct qemu_plugin_tb *tb);
typedef void (*qemu_plugin_udata_cb_t)(qemu_plugin_id_t id, void *userdata);

void qemu_plugin_register_vcpu_tb_trans_cb(qemu_plugin_id_t id, qemu_plugin_vcpu_tb_trans_cb_t cb);
void qemu_plugin_register_vcpu_tb_exec_cb(struct qemu_plugin_tb *tb, qemu_plugin_vcpu_udata_cb_t cb,
                                          enum qemu_plugin_cb_flags flags, void *userdata);
size_t qemu_plugin_tb_n_insns(const struct qemu_plugin_tb *tb);
void qemu_plugin_register_atexit_cb(qemu_plugin_id_t id, qemu_plugin_udata_cb_t cb, void *userdata);

__attribute__((visibility("default"))) int qemu_plugin_version = 1;

/* In user mode every guest thread is a vcpu of its own, numbered in creation order. */
#define MAX_THREADS 64
static uint64_t counts[MAX_THREADS];

/* Each thread adds only to its own slot, so no lock is needed. A block is counted whole
 * when it starts; the few blocks left early (a fault, a syscall in the middle) add a
 * handful of instructions that never ran. */
static void on_block(unsigned int vcpu, void *insns)
{
    if (vcpu < MAX_THREADS)
        counts[vcpu] += (uintptr_t)insns;
}

static void on_translate(qemu_plugin_id_t id, struct qemu_plugin_tb *tb)
{
    (void)id;
    qemu_plugin_register_vcpu_tb_exec_cb(tb, on_block, QEMU_PLUGIN_CB_NO_REGS,
                                         (void *)(uintptr_t)qemu_plugin_tb_n_insns(tb));
}

static void report_counts(qemu_plugin_id_t id, void *unused)
{
    (void)id;
    (void)unused;
    for (int i = 0; i < MAX_THREADS; i++)
        if (counts[i])
            fprintf(stderr, "insns thread %d: %" PRIu64 "\n", i, counts[i]);
}

__attribute__((visibility("default"))) int qemu_plugin_install(qemu_plugin_id_t id, const qemu_info_t *info,
                                                               int argc, char **argv)
{
    (void)info;
    (void)argc;
    (void)argv;
    qemu_plugin_register_vcpu_tb_trans_cb(id, on_translate);
    qemu_plugin_register_atexit_cb(id, report_counts, NULL);
    return 0;
}
