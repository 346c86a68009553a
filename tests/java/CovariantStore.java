// Reference-array stores through a wider static type: the store check must
// test the value against the array's own element class, after the null and
// bounds checks, and let null into any array.
public class CovariantStore {
    static void put(Object[] a, int i, Object o) { a[i] = o; }

    static String attempt(Object[] a, int i, Object o) {
        try {
            put(a, i, o);
            return "stored " + (a[i] instanceof int[] ? "an int[]" : String.valueOf(a[i]));
        } catch (ArrayStoreException e) {
            return "ASE";
        } catch (ArrayIndexOutOfBoundsException e) {
            return "AIOOBE";
        } catch (NullPointerException e) {
            return "NPE";
        }
    }

    public static void main(String[] args) {
        Object[] strings = new String[2];
        Object[] numbers = new Number[2];
        Object[] comparables = new Comparable[1];
        Object[] grid = new int[2][];
        System.out.println(attempt(strings, 1, "x"));
        System.out.println(attempt(strings, 0, Integer.valueOf(5)));
        System.out.println(attempt(strings, 0, null));
        System.out.println(attempt(numbers, 1, Integer.valueOf(7)));
        System.out.println(attempt(numbers, 0, "y"));
        System.out.println(attempt(comparables, 0, "z"));
        System.out.println(attempt(comparables, 0, new Object()));
        System.out.println(attempt(grid, 1, new int[] {3}) + " " + ((int[]) grid[1])[0]);
        System.out.println(attempt(grid, 0, new long[1]));
        System.out.println(attempt(strings, 2, "w"));
        System.out.println(attempt(strings, 2, Integer.valueOf(1)));
        System.out.println(attempt(null, 0, "v"));
        System.out.println(strings[1] + " " + numbers[1]);
    }
}
