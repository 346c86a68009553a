// Fixtures of the quadruple-generation tests: small methods whose bytecode
// shows one translation rule each (constants of every width, the ldc forms,
// switches, wide locals, long and double stack layouts, handlers).
public class QgFixtures {
    static int cM1() { return -1; }
    static int c5() { return 5; }
    static int cByte() { return 100; }
    static int cShortMin() { return -32768; }
    static int cShort() { return 1000; }
    static int cLdcInt() { return 100000; }
    static int cLdcNegInt() { return -70000; }
    static long cLong1() { return 1L; }
    static long cLong0() { return 0L; }
    static long cLongSmall() { return 65535L; }
    static long cLongMid() { return 70000L; }
    static long cLongNeg() { return -5L; }
    static long cLongBig() { return 0x100000000L; }
    static float cFloat2() { return 2.0f; }
    static float cFloatLdc() { return 3.5f; }
    static double cDouble1() { return 1.0; }
    static double cDoubleLdc() { return 2.5; }
    static Object cNull() { return null; }
    static String cString() { return "qg"; }

    static int table(int k) {
        switch (k) {
        case 1: return 10;
        case 2: return 20;
        case 3: return 30;
        default: return 0;
        }
    }
    static int lookup(int k) {
        switch (k) {
        case -100: return 1;
        case 7: return 2;
        case 100000: return 3;
        default: return 4;
        }
    }
    static int loop(int n) {
        int s = 0;
        for (int i = 0; i < n; i++)
            s += i;
        return s;
    }
    static int dec(int n) { n--; n += 300; return n; }
    static long lmix(long a, int b) { return (a << b) + a * 3L; }
    static boolean lless(long a, long b) { return a < b; }
    static double dmix(double a, double b, float c) { return a * b + c; }
    static int min2(int a, int b) { return a < b ? a : b; }
    static float fsel(float a, float b, float c, float d) { return a < b ? c : d; }
    static int choose(int a, int b, int c) { int r = a < 0 ? b : c; return r + a; }
    static void nothing() { }
    static void twice() { nothing(); nothing(); }
    synchronized void syncNop() { }
    static synchronized void staticSyncNop() { }
    static char ch(char[] a, int i) { return a[i]; }
    static int arr(int[] x, int i) { x[i] = x[i + 1] + 1; return x.length; }
    static void astore(Object[] a, int i, Object v) { a[i] = v; }
    static int guarded(int a, int b) {
        try {
            return a / b;
        } catch (ArithmeticException e) {
            return -1;
        }
    }
    static int wide(int a) {
        int v0 = a + 0;
        int v1 = a + 1;
        int v2 = a + 2;
        int v3 = a + 3;
        int v4 = a + 4;
        int v5 = a + 5;
        int v6 = a + 6;
        int v7 = a + 7;
        int v8 = a + 8;
        int v9 = a + 9;
        int v10 = a + 10;
        int v11 = a + 11;
        int v12 = a + 12;
        int v13 = a + 13;
        int v14 = a + 14;
        int v15 = a + 15;
        int v16 = a + 16;
        int v17 = a + 17;
        int v18 = a + 18;
        int v19 = a + 19;
        int v20 = a + 20;
        int v21 = a + 21;
        int v22 = a + 22;
        int v23 = a + 23;
        int v24 = a + 24;
        int v25 = a + 25;
        int v26 = a + 26;
        int v27 = a + 27;
        int v28 = a + 28;
        int v29 = a + 29;
        int v30 = a + 30;
        int v31 = a + 31;
        int v32 = a + 32;
        int v33 = a + 33;
        int v34 = a + 34;
        int v35 = a + 35;
        int v36 = a + 36;
        int v37 = a + 37;
        int v38 = a + 38;
        int v39 = a + 39;
        int v40 = a + 40;
        int v41 = a + 41;
        int v42 = a + 42;
        int v43 = a + 43;
        int v44 = a + 44;
        int v45 = a + 45;
        int v46 = a + 46;
        int v47 = a + 47;
        int v48 = a + 48;
        int v49 = a + 49;
        int v50 = a + 50;
        int v51 = a + 51;
        int v52 = a + 52;
        int v53 = a + 53;
        int v54 = a + 54;
        int v55 = a + 55;
        int v56 = a + 56;
        int v57 = a + 57;
        int v58 = a + 58;
        int v59 = a + 59;
        int v60 = a + 60;
        int v61 = a + 61;
        int v62 = a + 62;
        int v63 = a + 63;
        int v64 = a + 64;
        int v65 = a + 65;
        int v66 = a + 66;
        int v67 = a + 67;
        int v68 = a + 68;
        int v69 = a + 69;
        int v70 = a + 70;
        int v71 = a + 71;
        int v72 = a + 72;
        int v73 = a + 73;
        int v74 = a + 74;
        int v75 = a + 75;
        int v76 = a + 76;
        int v77 = a + 77;
        int v78 = a + 78;
        int v79 = a + 79;
        int v80 = a + 80;
        int v81 = a + 81;
        int v82 = a + 82;
        int v83 = a + 83;
        int v84 = a + 84;
        int v85 = a + 85;
        int v86 = a + 86;
        int v87 = a + 87;
        int v88 = a + 88;
        int v89 = a + 89;
        int v90 = a + 90;
        int v91 = a + 91;
        int v92 = a + 92;
        int v93 = a + 93;
        int v94 = a + 94;
        int v95 = a + 95;
        int v96 = a + 96;
        int v97 = a + 97;
        int v98 = a + 98;
        int v99 = a + 99;
        int v100 = a + 100;
        int v101 = a + 101;
        int v102 = a + 102;
        int v103 = a + 103;
        int v104 = a + 104;
        int v105 = a + 105;
        int v106 = a + 106;
        int v107 = a + 107;
        int v108 = a + 108;
        int v109 = a + 109;
        int v110 = a + 110;
        int v111 = a + 111;
        int v112 = a + 112;
        int v113 = a + 113;
        int v114 = a + 114;
        int v115 = a + 115;
        int v116 = a + 116;
        int v117 = a + 117;
        int v118 = a + 118;
        int v119 = a + 119;
        int v120 = a + 120;
        int v121 = a + 121;
        int v122 = a + 122;
        int v123 = a + 123;
        int v124 = a + 124;
        int v125 = a + 125;
        int v126 = a + 126;
        int v127 = a + 127;
        int v128 = a + 128;
        int v129 = a + 129;
        int v130 = a + 130;
        int v131 = a + 131;
        int v132 = a + 132;
        int v133 = a + 133;
        int v134 = a + 134;
        int v135 = a + 135;
        int v136 = a + 136;
        int v137 = a + 137;
        int v138 = a + 138;
        int v139 = a + 139;
        int v140 = a + 140;
        int v141 = a + 141;
        int v142 = a + 142;
        int v143 = a + 143;
        int v144 = a + 144;
        int v145 = a + 145;
        int v146 = a + 146;
        int v147 = a + 147;
        int v148 = a + 148;
        int v149 = a + 149;
        int v150 = a + 150;
        int v151 = a + 151;
        int v152 = a + 152;
        int v153 = a + 153;
        int v154 = a + 154;
        int v155 = a + 155;
        int v156 = a + 156;
        int v157 = a + 157;
        int v158 = a + 158;
        int v159 = a + 159;
        int v160 = a + 160;
        int v161 = a + 161;
        int v162 = a + 162;
        int v163 = a + 163;
        int v164 = a + 164;
        int v165 = a + 165;
        int v166 = a + 166;
        int v167 = a + 167;
        int v168 = a + 168;
        int v169 = a + 169;
        int v170 = a + 170;
        int v171 = a + 171;
        int v172 = a + 172;
        int v173 = a + 173;
        int v174 = a + 174;
        int v175 = a + 175;
        int v176 = a + 176;
        int v177 = a + 177;
        int v178 = a + 178;
        int v179 = a + 179;
        int v180 = a + 180;
        int v181 = a + 181;
        int v182 = a + 182;
        int v183 = a + 183;
        int v184 = a + 184;
        int v185 = a + 185;
        int v186 = a + 186;
        int v187 = a + 187;
        int v188 = a + 188;
        int v189 = a + 189;
        int v190 = a + 190;
        int v191 = a + 191;
        int v192 = a + 192;
        int v193 = a + 193;
        int v194 = a + 194;
        int v195 = a + 195;
        int v196 = a + 196;
        int v197 = a + 197;
        int v198 = a + 198;
        int v199 = a + 199;
        int v200 = a + 200;
        int v201 = a + 201;
        int v202 = a + 202;
        int v203 = a + 203;
        int v204 = a + 204;
        int v205 = a + 205;
        int v206 = a + 206;
        int v207 = a + 207;
        int v208 = a + 208;
        int v209 = a + 209;
        int v210 = a + 210;
        int v211 = a + 211;
        int v212 = a + 212;
        int v213 = a + 213;
        int v214 = a + 214;
        int v215 = a + 215;
        int v216 = a + 216;
        int v217 = a + 217;
        int v218 = a + 218;
        int v219 = a + 219;
        int v220 = a + 220;
        int v221 = a + 221;
        int v222 = a + 222;
        int v223 = a + 223;
        int v224 = a + 224;
        int v225 = a + 225;
        int v226 = a + 226;
        int v227 = a + 227;
        int v228 = a + 228;
        int v229 = a + 229;
        int v230 = a + 230;
        int v231 = a + 231;
        int v232 = a + 232;
        int v233 = a + 233;
        int v234 = a + 234;
        int v235 = a + 235;
        int v236 = a + 236;
        int v237 = a + 237;
        int v238 = a + 238;
        int v239 = a + 239;
        int v240 = a + 240;
        int v241 = a + 241;
        int v242 = a + 242;
        int v243 = a + 243;
        int v244 = a + 244;
        int v245 = a + 245;
        int v246 = a + 246;
        int v247 = a + 247;
        int v248 = a + 248;
        int v249 = a + 249;
        int v250 = a + 250;
        int v251 = a + 251;
        int v252 = a + 252;
        int v253 = a + 253;
        int v254 = a + 254;
        int v255 = a + 255;
        int v256 = a + 256;
        int v257 = a + 257;
        int v258 = a + 258;
        int v259 = a + 259;
        v259 += 1000;
        return v259 + v0;
    }
}
