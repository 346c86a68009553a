package java.util;

/** A few collection algorithms and immutable empties. */
public final class Collections {
    private Collections() {}

    @SuppressWarnings("rawtypes")
    public static final List EMPTY_LIST = new EmptyList<Object>();

    @SuppressWarnings("rawtypes")
    public static final Set EMPTY_SET = new EmptySet<Object>();

    @SuppressWarnings("rawtypes")
    public static final Map EMPTY_MAP = new EmptyMap<Object, Object>();

    private static Random shuffleRandom;

    /** Stable sort in natural order. */
    public static <T extends Comparable<? super T>> void sort(List<T> list) {
        sort(list, null);
    }

    /** Stable sort; the list is sorted as an array and written back. */
    @SuppressWarnings({"unchecked", "rawtypes"})
    public static <T> void sort(List<T> list, Comparator<? super T> c) {
        if (list instanceof ArrayList) {
            ((ArrayList) list).sort(c);
            return;
        }
        Object[] a = list.toArray();
        Arrays.sort(a, (Comparator) c);
        ListIterator<T> i = list.listIterator();
        for (Object e : a) {
            i.next();
            i.set((T) e);
        }
    }

    @SuppressWarnings({"unchecked", "rawtypes"})
    public static void reverse(List<?> list) {
        List l = list;
        for (int i = 0, j = l.size() - 1; i < j; i++, j--) {
            l.set(i, l.set(j, l.get(i)));
        }
    }

    @SuppressWarnings({"unchecked", "rawtypes"})
    public static void swap(List<?> list, int i, int j) {
        final List l = list;
        l.set(i, l.set(j, l.get(i)));
    }

    public static void shuffle(List<?> list) {
        Random rnd = shuffleRandom;
        if (rnd == null) {
            shuffleRandom = rnd = new Random();
        }
        shuffle(list, rnd);
    }

    /** for i = size..2: swap(i-1, rnd.nextInt(i)), as documented. */
    public static void shuffle(List<?> list, Random rnd) {
        for (int i = list.size(); i > 1; i--) {
            swap(list, i - 1, rnd.nextInt(i));
        }
    }

    public static <T> void fill(List<? super T> list, T obj) {
        for (int i = 0, n = list.size(); i < n; i++) {
            list.set(i, obj);
        }
    }

    @SafeVarargs
    public static <T> boolean addAll(Collection<? super T> c, T... elements) {
        boolean result = false;
        for (T element : elements) {
            result |= c.add(element);
        }
        return result;
    }

    public static int frequency(Collection<?> c, Object o) {
        int result = 0;
        for (Object e : c) {
            if (o == null ? e == null : o.equals(e)) {
                result++;
            }
        }
        return result;
    }

    public static <T extends Object & Comparable<? super T>> T max(Collection<? extends T> coll) {
        Iterator<? extends T> i = coll.iterator();
        T candidate = i.next();
        while (i.hasNext()) {
            T next = i.next();
            if (next.compareTo(candidate) > 0) {
                candidate = next;
            }
        }
        return candidate;
    }

    public static <T> T max(Collection<? extends T> coll, Comparator<? super T> comp) {
        Iterator<? extends T> i = coll.iterator();
        T candidate = i.next();
        while (i.hasNext()) {
            T next = i.next();
            if (comp.compare(next, candidate) > 0) {
                candidate = next;
            }
        }
        return candidate;
    }

    public static <T extends Object & Comparable<? super T>> T min(Collection<? extends T> coll) {
        Iterator<? extends T> i = coll.iterator();
        T candidate = i.next();
        while (i.hasNext()) {
            T next = i.next();
            if (next.compareTo(candidate) < 0) {
                candidate = next;
            }
        }
        return candidate;
    }

    public static <T> T min(Collection<? extends T> coll, Comparator<? super T> comp) {
        Iterator<? extends T> i = coll.iterator();
        T candidate = i.next();
        while (i.hasNext()) {
            T next = i.next();
            if (comp.compare(next, candidate) < 0) {
                candidate = next;
            }
        }
        return candidate;
    }

    public static <T> Comparator<T> reverseOrder() {
        return new ReverseComparator<T>(null);
    }

    public static <T> Comparator<T> reverseOrder(Comparator<T> cmp) {
        return new ReverseComparator<T>(cmp);
    }

    private static final class ReverseComparator<T> implements Comparator<T>, java.io.Serializable {
        private final Comparator<T> cmp;

        ReverseComparator(Comparator<T> cmp) {
            this.cmp = cmp;
        }

        @SuppressWarnings({"unchecked", "rawtypes"})
        public int compare(T a, T b) {
            if (cmp == null) {
                return ((Comparable) b).compareTo(a);
            }
            return cmp.compare(b, a);
        }
    }

    // ---- empties and singletons ----

    @SuppressWarnings("unchecked")
    public static <T> List<T> emptyList() {
        return (List<T>) EMPTY_LIST;
    }

    @SuppressWarnings("unchecked")
    public static <T> Set<T> emptySet() {
        return (Set<T>) EMPTY_SET;
    }

    @SuppressWarnings("unchecked")
    public static <K, V> Map<K, V> emptyMap() {
        return (Map<K, V>) EMPTY_MAP;
    }

    @SuppressWarnings("unchecked")
    public static <T> Iterator<T> emptyIterator() {
        return (Iterator<T>) EmptyIterator.INSTANCE;
    }

    @SuppressWarnings("unchecked")
    public static <T> Enumeration<T> emptyEnumeration() {
        return (Enumeration<T>) EmptyIterator.INSTANCE;
    }

    private static final class EmptyIterator<E> implements Iterator<E>, Enumeration<E> {
        static final EmptyIterator<Object> INSTANCE = new EmptyIterator<Object>();

        public boolean hasNext() {
            return false;
        }

        public E next() {
            throw new NoSuchElementException();
        }

        public void remove() {
            throw new IllegalStateException();
        }

        public boolean hasMoreElements() {
            return false;
        }

        public E nextElement() {
            throw new NoSuchElementException();
        }
    }

    private static final class EmptyList<E> extends AbstractList<E> implements RandomAccess, java.io.Serializable {
        public Iterator<E> iterator() {
            return emptyIterator();
        }

        public int size() {
            return 0;
        }

        public E get(int index) {
            throw new IndexOutOfBoundsException("Index: " + index);
        }
    }

    private static final class EmptySet<E> extends AbstractSet<E> implements java.io.Serializable {
        public Iterator<E> iterator() {
            return emptyIterator();
        }

        public int size() {
            return 0;
        }
    }

    private static final class EmptyMap<K, V> extends AbstractMap<K, V> implements java.io.Serializable {
        public Set<Map.Entry<K, V>> entrySet() {
            return emptySet();
        }
    }

    public static <T> List<T> singletonList(T o) {
        return new SingletonList<T>(o);
    }

    public static <T> Set<T> singleton(T o) {
        Set<T> s = new HashSet<T>();
        s.add(o);
        return unmodifiableSet(s);
    }

    private static final class SingletonList<E> extends AbstractList<E> implements RandomAccess, java.io.Serializable {
        private final E element;

        SingletonList(E obj) {
            element = obj;
        }

        public int size() {
            return 1;
        }

        public E get(int index) {
            if (index != 0) {
                throw new IndexOutOfBoundsException("Index: " + index + ", Size: 1");
            }
            return element;
        }
    }

    public static <T> List<T> nCopies(int n, T o) {
        if (n < 0) {
            throw new IllegalArgumentException("List length = " + n);
        }
        List<T> l = new ArrayList<T>(n);
        for (int i = 0; i < n; i++) {
            l.add(o);
        }
        return unmodifiableList(l);
    }

    // ---- unmodifiable views ----

    public static <T> Collection<T> unmodifiableCollection(Collection<? extends T> c) {
        return new UnmodifiableCollection<T>(c);
    }

    public static <T> Set<T> unmodifiableSet(Set<? extends T> s) {
        return new UnmodifiableSet<T>(s);
    }

    public static <T> List<T> unmodifiableList(List<? extends T> list) {
        return new UnmodifiableList<T>(list);
    }

    public static <K, V> Map<K, V> unmodifiableMap(Map<? extends K, ? extends V> m) {
        return new UnmodifiableMap<K, V>(m);
    }

    static class UnmodifiableCollection<E> extends AbstractCollection<E> implements java.io.Serializable {
        final Collection<? extends E> c;

        UnmodifiableCollection(Collection<? extends E> c) {
            this.c = Objects.requireNonNull(c);
        }

        public int size() {
            return c.size();
        }

        public boolean contains(Object o) {
            return c.contains(o);
        }

        public String toString() {
            return c.toString();
        }

        public Iterator<E> iterator() {
            final Iterator<? extends E> i = c.iterator();
            return new Iterator<E>() {
                public boolean hasNext() {
                    return i.hasNext();
                }

                public E next() {
                    return i.next();
                }

                public void remove() {
                    throw new UnsupportedOperationException();
                }
            };
        }

        public boolean add(E e) {
            throw new UnsupportedOperationException();
        }

        public boolean remove(Object o) {
            throw new UnsupportedOperationException();
        }

        public void clear() {
            throw new UnsupportedOperationException();
        }

        public boolean removeAll(Collection<?> coll) {
            throw new UnsupportedOperationException();
        }

        public boolean retainAll(Collection<?> coll) {
            throw new UnsupportedOperationException();
        }
    }

    static class UnmodifiableSet<E> extends UnmodifiableCollection<E> implements Set<E> {
        UnmodifiableSet(Set<? extends E> s) {
            super(s);
        }

        public boolean equals(Object o) {
            return o == this || c.equals(o);
        }

        public int hashCode() {
            return c.hashCode();
        }
    }

    static class UnmodifiableList<E> extends AbstractList<E> implements RandomAccess, java.io.Serializable {
        final List<? extends E> list;

        UnmodifiableList(List<? extends E> list) {
            this.list = Objects.requireNonNull(list);
        }

        public int size() {
            return list.size();
        }

        public E get(int index) {
            return list.get(index);
        }

        public boolean equals(Object o) {
            return o == this || list.equals(o);
        }

        public int hashCode() {
            return list.hashCode();
        }

        public String toString() {
            return list.toString();
        }
    }

    static class UnmodifiableMap<K, V> extends AbstractMap<K, V> implements java.io.Serializable {
        private final Map<? extends K, ? extends V> m;

        UnmodifiableMap(Map<? extends K, ? extends V> m) {
            this.m = Objects.requireNonNull(m);
        }

        public int size() {
            return m.size();
        }

        public boolean containsKey(Object key) {
            return m.containsKey(key);
        }

        public V get(Object key) {
            return m.get(key);
        }

        @SuppressWarnings({"unchecked", "rawtypes"})
        public Set<Map.Entry<K, V>> entrySet() {
            return (Set) unmodifiableSet(m.entrySet());
        }

        public String toString() {
            return m.toString();
        }

        public boolean equals(Object o) {
            return o == this || m.equals(o);
        }

        public int hashCode() {
            return m.hashCode();
        }
    }
}
