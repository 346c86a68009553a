# Turns the texts that OpenJDK 17 puts into exception messages into the
# texts our VM produces, so that expected outputs can be generated with the
# machine's `java` (make_expected.sh applies this to every program's stdout).
#
# ClassCastException: the dotted name of the object's class, and
# "java.lang.Object" when the object is an array.
s/class \[[^ ]* cannot be cast to class [^ ]* ([^)]*)/java.lang.Object/g
s/class \([^ ]*\) cannot be cast to class [^ ]* ([^)]*)/\1/g
# ArrayIndexOutOfBoundsException: the index alone.
s/Index \(-\{0,1\}[0-9][0-9]*\) out of bounds for length [0-9][0-9]*/\1/g
