// Class-hierarchy patch sites: on a multiprocessor the first two bytes of a
// site, which the rewrite stores at once, never straddle a 32-byte line,
// as for every other site patched while other threads may run it.  (Fault
// mended: the class-hierarchy sites went without the padding.)
#include <gtest/gtest.h>

#include "codegen/glue/gen_callsite.h"
#include "cg_test_util.h"

extern s4 orva_processor_num;

TEST(ChaPatch, SiteStartsInsideOneLineOnMultiprocessors)
{
    static cg_fixture f;
    for (int mp : {0, 1})
        for (u4 offset = 24; offset < 72; offset++) {
            cg_setup(&f, CG_PASS_WRITE, offset);
            orva_processor_num = mp ? 2 : 1;
            quadruple guard = {};
            quadruple* slot = &guard;
            cha_block_entry e = {nullptr, &slot, 1};
            cha_patch_record r = {};
            f.bb[1].code_size = 64;   // room enough: no filler for the site's length
            set_cha_block_entries(&f.bb[1], &e);
            reinterpret_cast<cha_patch_record**>(f.mci.cha_lists)[0] = &r;   // head
            reinterpret_cast<cha_patch_record**>(f.mci.cha_lists)[2] = &r;   // cursor of pass 2
            register_cha_patch_list(&f.cg, f.bbt, 1);
            ASSERT_NE(r.site, nullptr);
            u4 site = (u4)(uintptr_t)r.site;
            u4 from = (u4)(uintptr_t)(f.buf + offset);
            if (mp) {
                EXPECT_EQ(site / 32, (site + 1) / 32) << "offset " << offset;
                EXPECT_EQ(site, (from + 1) / 32 != from / 32 ? (from + 31) / 32 * 32 : from) << "offset " << offset;
            } else {
                EXPECT_EQ(site, from) << "offset " << offset;
            }
            // Filler only before the site, none after it.
            EXPECT_EQ(f.cg.code, r.site) << "offset " << offset;
        }
    orva_processor_num = 1;
}
