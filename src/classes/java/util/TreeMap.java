package java.util;

/**
 * Red-black tree map ordered by the keys' natural order or a comparator.
 * Iteration and toString follow key order.  (No sub-map views.)
 */
public class TreeMap<K, V> extends AbstractMap<K, V> implements NavigableMap<K, V>, Cloneable, java.io.Serializable {
    private final Comparator<? super K> comparator;
    private transient Entry<K, V> root;
    private transient int size;
    private transient int modCount;
    private transient Set<Map.Entry<K, V>> entrySet;

    private static final boolean RED = false;
    private static final boolean BLACK = true;

    static final class Entry<K, V> implements Map.Entry<K, V> {
        K key;
        V value;
        Entry<K, V> left;
        Entry<K, V> right;
        Entry<K, V> parent;
        boolean color = BLACK;

        Entry(K key, V value, Entry<K, V> parent) {
            this.key = key;
            this.value = value;
            this.parent = parent;
        }

        public K getKey() {
            return key;
        }

        public V getValue() {
            return value;
        }

        public V setValue(V value) {
            V oldValue = this.value;
            this.value = value;
            return oldValue;
        }

        public boolean equals(Object o) {
            if (!(o instanceof Map.Entry)) {
                return false;
            }
            Map.Entry<?, ?> e = (Map.Entry<?, ?>) o;
            return eq(key, e.getKey()) && eq(value, e.getValue());
        }

        public int hashCode() {
            return (key == null ? 0 : key.hashCode()) ^ (value == null ? 0 : value.hashCode());
        }

        public String toString() {
            return key + "=" + value;
        }
    }

    public TreeMap() {
        comparator = null;
    }

    public TreeMap(Comparator<? super K> comparator) {
        this.comparator = comparator;
    }

    public TreeMap(Map<? extends K, ? extends V> m) {
        comparator = null;
        putAll(m);
    }

    public int size() {
        return size;
    }

    public Comparator<? super K> comparator() {
        return comparator;
    }

    @SuppressWarnings({"unchecked", "rawtypes"})
    final int compare(Object k1, Object k2) {
        return comparator == null ? ((Comparable) k1).compareTo(k2) : comparator.compare((K) k1, (K) k2);
    }

    final Entry<K, V> getEntry(Object key) {
        if (comparator == null && key == null) {
            throw new NullPointerException();
        }
        Entry<K, V> p = root;
        while (p != null) {
            int cmp = compare(key, p.key);
            if (cmp < 0) {
                p = p.left;
            } else if (cmp > 0) {
                p = p.right;
            } else {
                return p;
            }
        }
        return null;
    }

    public boolean containsKey(Object key) {
        return getEntry(key) != null;
    }

    public boolean containsValue(Object value) {
        for (Entry<K, V> e = getFirstEntry(); e != null; e = successor(e)) {
            if (eq(value, e.value)) {
                return true;
            }
        }
        return false;
    }

    public V get(Object key) {
        Entry<K, V> p = getEntry(key);
        return p == null ? null : p.value;
    }

    public K firstKey() {
        return key(getFirstEntry());
    }

    public K lastKey() {
        return key(getLastEntry());
    }

    private static <K> K key(Entry<K, ?> e) {
        if (e == null) {
            throw new NoSuchElementException();
        }
        return e.key;
    }

    public V put(K key, V value) {
        Entry<K, V> t = root;
        if (t == null) {
            compare(key, key);  // type (and null) check
            root = new Entry<K, V>(key, value, null);
            size = 1;
            modCount++;
            return null;
        }
        if (key == null && comparator == null) {
            throw new NullPointerException();
        }
        int cmp;
        Entry<K, V> parent;
        do {
            parent = t;
            cmp = compare(key, t.key);
            if (cmp < 0) {
                t = t.left;
            } else if (cmp > 0) {
                t = t.right;
            } else {
                return t.setValue(value);
            }
        } while (t != null);
        Entry<K, V> e = new Entry<K, V>(key, value, parent);
        if (cmp < 0) {
            parent.left = e;
        } else {
            parent.right = e;
        }
        fixAfterInsertion(e);
        size++;
        modCount++;
        return null;
    }

    public V remove(Object key) {
        Entry<K, V> p = getEntry(key);
        if (p == null) {
            return null;
        }
        V oldValue = p.value;
        deleteEntry(p);
        return oldValue;
    }

    public void clear() {
        modCount++;
        size = 0;
        root = null;
    }

    @SuppressWarnings("unchecked")
    public Object clone() {
        TreeMap<K, V> clone;
        try {
            clone = (TreeMap<K, V>) super.clone();
        } catch (CloneNotSupportedException e) {
            throw new InternalError(e);
        }
        clone.root = null;
        clone.size = 0;
        clone.modCount = 0;
        clone.entrySet = null;
        clone.keySet = null;
        clone.values = null;
        for (Entry<K, V> e = getFirstEntry(); e != null; e = successor(e)) {
            clone.put(e.key, e.value);
        }
        return clone;
    }

    // ---- navigation ----

    public Map.Entry<K, V> firstEntry() {
        return snapshot(getFirstEntry());
    }

    public Map.Entry<K, V> lastEntry() {
        return snapshot(getLastEntry());
    }

    public Map.Entry<K, V> pollFirstEntry() {
        Entry<K, V> p = getFirstEntry();
        Map.Entry<K, V> result = snapshot(p);
        if (p != null) {
            deleteEntry(p);
        }
        return result;
    }

    public Map.Entry<K, V> pollLastEntry() {
        Entry<K, V> p = getLastEntry();
        Map.Entry<K, V> result = snapshot(p);
        if (p != null) {
            deleteEntry(p);
        }
        return result;
    }

    public Map.Entry<K, V> lowerEntry(K key) {
        return snapshot(getRelative(key, false, false));
    }

    public K lowerKey(K key) {
        return keyOrNull(getRelative(key, false, false));
    }

    public Map.Entry<K, V> floorEntry(K key) {
        return snapshot(getRelative(key, false, true));
    }

    public K floorKey(K key) {
        return keyOrNull(getRelative(key, false, true));
    }

    public Map.Entry<K, V> ceilingEntry(K key) {
        return snapshot(getRelative(key, true, true));
    }

    public K ceilingKey(K key) {
        return keyOrNull(getRelative(key, true, true));
    }

    public Map.Entry<K, V> higherEntry(K key) {
        return snapshot(getRelative(key, true, false));
    }

    public K higherKey(K key) {
        return keyOrNull(getRelative(key, true, false));
    }

    private static <K, V> Map.Entry<K, V> snapshot(Entry<K, V> e) {
        return e == null ? null : new AbstractMap.SimpleEntry<K, V>(e.key, e.value);
    }

    private static <K> K keyOrNull(Entry<K, ?> e) {
        return e == null ? null : e.key;
    }

    /** The least entry above (or, with inclusive, at) key when up; else the greatest below/at. */
    private Entry<K, V> getRelative(Object key, boolean up, boolean inclusive) {
        if (comparator == null && key == null) {
            throw new NullPointerException();
        }
        Entry<K, V> p = root;
        Entry<K, V> best = null;
        while (p != null) {
            int cmp = compare(key, p.key);
            if (cmp == 0 && inclusive) {
                return p;
            }
            if (up) {
                if (cmp < 0) {
                    best = p;
                    p = p.left;
                } else {
                    p = p.right;
                }
            } else {
                if (cmp > 0) {
                    best = p;
                    p = p.right;
                } else {
                    p = p.left;
                }
            }
        }
        return best;
    }

    final Entry<K, V> getFirstEntry() {
        Entry<K, V> p = root;
        if (p != null) {
            while (p.left != null) {
                p = p.left;
            }
        }
        return p;
    }

    final Entry<K, V> getLastEntry() {
        Entry<K, V> p = root;
        if (p != null) {
            while (p.right != null) {
                p = p.right;
            }
        }
        return p;
    }

    static <K, V> Entry<K, V> successor(Entry<K, V> t) {
        if (t == null) {
            return null;
        } else if (t.right != null) {
            Entry<K, V> p = t.right;
            while (p.left != null) {
                p = p.left;
            }
            return p;
        } else {
            Entry<K, V> p = t.parent;
            Entry<K, V> ch = t;
            while (p != null && ch == p.right) {
                ch = p;
                p = p.parent;
            }
            return p;
        }
    }

    static <K, V> Entry<K, V> predecessor(Entry<K, V> t) {
        if (t == null) {
            return null;
        } else if (t.left != null) {
            Entry<K, V> p = t.left;
            while (p.right != null) {
                p = p.right;
            }
            return p;
        } else {
            Entry<K, V> p = t.parent;
            Entry<K, V> ch = t;
            while (p != null && ch == p.left) {
                ch = p;
                p = p.parent;
            }
            return p;
        }
    }

    // ---- red-black balancing ----

    private static <K, V> boolean colorOf(Entry<K, V> p) {
        return p == null ? BLACK : p.color;
    }

    private static <K, V> Entry<K, V> parentOf(Entry<K, V> p) {
        return p == null ? null : p.parent;
    }

    private static <K, V> void setColor(Entry<K, V> p, boolean c) {
        if (p != null) {
            p.color = c;
        }
    }

    private static <K, V> Entry<K, V> leftOf(Entry<K, V> p) {
        return p == null ? null : p.left;
    }

    private static <K, V> Entry<K, V> rightOf(Entry<K, V> p) {
        return p == null ? null : p.right;
    }

    private void rotateLeft(Entry<K, V> p) {
        if (p != null) {
            Entry<K, V> r = p.right;
            p.right = r.left;
            if (r.left != null) {
                r.left.parent = p;
            }
            r.parent = p.parent;
            if (p.parent == null) {
                root = r;
            } else if (p.parent.left == p) {
                p.parent.left = r;
            } else {
                p.parent.right = r;
            }
            r.left = p;
            p.parent = r;
        }
    }

    private void rotateRight(Entry<K, V> p) {
        if (p != null) {
            Entry<K, V> l = p.left;
            p.left = l.right;
            if (l.right != null) {
                l.right.parent = p;
            }
            l.parent = p.parent;
            if (p.parent == null) {
                root = l;
            } else if (p.parent.right == p) {
                p.parent.right = l;
            } else {
                p.parent.left = l;
            }
            l.right = p;
            p.parent = l;
        }
    }

    private void fixAfterInsertion(Entry<K, V> x) {
        x.color = RED;
        while (x != null && x != root && x.parent.color == RED) {
            if (parentOf(x) == leftOf(parentOf(parentOf(x)))) {
                Entry<K, V> y = rightOf(parentOf(parentOf(x)));
                if (colorOf(y) == RED) {
                    setColor(parentOf(x), BLACK);
                    setColor(y, BLACK);
                    setColor(parentOf(parentOf(x)), RED);
                    x = parentOf(parentOf(x));
                } else {
                    if (x == rightOf(parentOf(x))) {
                        x = parentOf(x);
                        rotateLeft(x);
                    }
                    setColor(parentOf(x), BLACK);
                    setColor(parentOf(parentOf(x)), RED);
                    rotateRight(parentOf(parentOf(x)));
                }
            } else {
                Entry<K, V> y = leftOf(parentOf(parentOf(x)));
                if (colorOf(y) == RED) {
                    setColor(parentOf(x), BLACK);
                    setColor(y, BLACK);
                    setColor(parentOf(parentOf(x)), RED);
                    x = parentOf(parentOf(x));
                } else {
                    if (x == leftOf(parentOf(x))) {
                        x = parentOf(x);
                        rotateRight(x);
                    }
                    setColor(parentOf(x), BLACK);
                    setColor(parentOf(parentOf(x)), RED);
                    rotateLeft(parentOf(parentOf(x)));
                }
            }
        }
        root.color = BLACK;
    }

    private void deleteEntry(Entry<K, V> p) {
        modCount++;
        size--;
        if (p.left != null && p.right != null) {
            Entry<K, V> s = successor(p);
            p.key = s.key;
            p.value = s.value;
            p = s;
        }
        Entry<K, V> replacement = (p.left != null ? p.left : p.right);
        if (replacement != null) {
            replacement.parent = p.parent;
            if (p.parent == null) {
                root = replacement;
            } else if (p == p.parent.left) {
                p.parent.left = replacement;
            } else {
                p.parent.right = replacement;
            }
            p.left = p.right = p.parent = null;
            if (p.color == BLACK) {
                fixAfterDeletion(replacement);
            }
        } else if (p.parent == null) {
            root = null;
        } else {
            if (p.color == BLACK) {
                fixAfterDeletion(p);
            }
            if (p.parent != null) {
                if (p == p.parent.left) {
                    p.parent.left = null;
                } else if (p == p.parent.right) {
                    p.parent.right = null;
                }
                p.parent = null;
            }
        }
    }

    private void fixAfterDeletion(Entry<K, V> x) {
        while (x != root && colorOf(x) == BLACK) {
            if (x == leftOf(parentOf(x))) {
                Entry<K, V> sib = rightOf(parentOf(x));
                if (colorOf(sib) == RED) {
                    setColor(sib, BLACK);
                    setColor(parentOf(x), RED);
                    rotateLeft(parentOf(x));
                    sib = rightOf(parentOf(x));
                }
                if (colorOf(leftOf(sib)) == BLACK && colorOf(rightOf(sib)) == BLACK) {
                    setColor(sib, RED);
                    x = parentOf(x);
                } else {
                    if (colorOf(rightOf(sib)) == BLACK) {
                        setColor(leftOf(sib), BLACK);
                        setColor(sib, RED);
                        rotateRight(sib);
                        sib = rightOf(parentOf(x));
                    }
                    setColor(sib, colorOf(parentOf(x)));
                    setColor(parentOf(x), BLACK);
                    setColor(rightOf(sib), BLACK);
                    rotateLeft(parentOf(x));
                    x = root;
                }
            } else {
                Entry<K, V> sib = leftOf(parentOf(x));
                if (colorOf(sib) == RED) {
                    setColor(sib, BLACK);
                    setColor(parentOf(x), RED);
                    rotateRight(parentOf(x));
                    sib = leftOf(parentOf(x));
                }
                if (colorOf(rightOf(sib)) == BLACK && colorOf(leftOf(sib)) == BLACK) {
                    setColor(sib, RED);
                    x = parentOf(x);
                } else {
                    if (colorOf(leftOf(sib)) == BLACK) {
                        setColor(rightOf(sib), BLACK);
                        setColor(sib, RED);
                        rotateLeft(sib);
                        sib = leftOf(parentOf(x));
                    }
                    setColor(sib, colorOf(parentOf(x)));
                    setColor(parentOf(x), BLACK);
                    setColor(leftOf(sib), BLACK);
                    rotateRight(parentOf(x));
                    x = root;
                }
            }
        }
        setColor(x, BLACK);
    }

    // ---- views ----

    public Set<Map.Entry<K, V>> entrySet() {
        Set<Map.Entry<K, V>> es = entrySet;
        if (es == null) {
            es = new AbstractSet<Map.Entry<K, V>>() {
                public Iterator<Map.Entry<K, V>> iterator() {
                    return new EntryIterator<Map.Entry<K, V>>(getFirstEntry(), 2, false);
                }

                public int size() {
                    return size;
                }

                public boolean contains(Object o) {
                    if (!(o instanceof Map.Entry)) {
                        return false;
                    }
                    Map.Entry<?, ?> entry = (Map.Entry<?, ?>) o;
                    Entry<K, V> p = getEntry(entry.getKey());
                    return p != null && eq(p.getValue(), entry.getValue());
                }

                public void clear() {
                    TreeMap.this.clear();
                }
            };
            entrySet = es;
        }
        return es;
    }

    public Set<K> keySet() {
        Set<K> ks = keySet;
        if (ks == null) {
            ks = new AbstractSet<K>() {
                public Iterator<K> iterator() {
                    return new EntryIterator<K>(getFirstEntry(), 0, false);
                }

                public int size() {
                    return size;
                }

                public boolean contains(Object o) {
                    return containsKey(o);
                }

                public boolean remove(Object o) {
                    int oldSize = size;
                    TreeMap.this.remove(o);
                    return size != oldSize;
                }

                public void clear() {
                    TreeMap.this.clear();
                }
            };
            keySet = ks;
        }
        return ks;
    }

    public Collection<V> values() {
        Collection<V> vs = values;
        if (vs == null) {
            vs = new AbstractCollection<V>() {
                public Iterator<V> iterator() {
                    return new EntryIterator<V>(getFirstEntry(), 1, false);
                }

                public int size() {
                    return size;
                }

                public void clear() {
                    TreeMap.this.clear();
                }
            };
            values = vs;
        }
        return vs;
    }

    Iterator<K> descendingKeyIterator() {
        return new EntryIterator<K>(getLastEntry(), 0, true);
    }

    /** In-order (or reverse) walk; kind 0 keys, 1 values, 2 entries. */
    final class EntryIterator<T> implements Iterator<T> {
        Entry<K, V> next;
        Entry<K, V> lastReturned;
        int expectedModCount;
        final int kind;
        final boolean descending;

        EntryIterator(Entry<K, V> first, int kind, boolean descending) {
            expectedModCount = modCount;
            next = first;
            this.kind = kind;
            this.descending = descending;
        }

        public boolean hasNext() {
            return next != null;
        }

        @SuppressWarnings("unchecked")
        public T next() {
            Entry<K, V> e = next;
            if (e == null) {
                throw new NoSuchElementException();
            }
            if (modCount != expectedModCount) {
                throw new ConcurrentModificationException();
            }
            next = descending ? predecessor(e) : successor(e);
            lastReturned = e;
            return (T) (kind == 0 ? e.key : kind == 1 ? e.value : e);
        }

        public void remove() {
            if (lastReturned == null) {
                throw new IllegalStateException();
            }
            if (modCount != expectedModCount) {
                throw new ConcurrentModificationException();
            }
            // deleteEntry copies the successor into a node with two children.
            if (!descending && lastReturned.left != null && lastReturned.right != null) {
                next = lastReturned;
            }
            deleteEntry(lastReturned);
            expectedModCount = modCount;
            lastReturned = null;
        }
    }
}
