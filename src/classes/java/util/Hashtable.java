package java.util;

/**
 * Synchronized hash table; null keys and values are refused.
 *
 * Capacity 11 and load factor 0.75 by default; an entry with hash h lives
 * in bucket (h & 0x7FFFFFFF) % length, inserted at the head of the chain.
 * When count reaches the threshold before an insertion the table grows to
 * 2n+1, moving the old buckets from the highest index down, each chain from
 * its head to the head of its new chain.  keys(), elements(), the views and
 * toString() walk the buckets from the highest index down to 0, each chain
 * from its head (newest first): the order Java programs usually observe.
 */
public class Hashtable<K, V> extends Dictionary<K, V> implements Map<K, V>, Cloneable, java.io.Serializable {
    private transient Entry<?, ?>[] table;
    private transient int count;
    private int threshold;
    private float loadFactor;
    private transient int modCount;

    private transient volatile Set<K> keySet;
    private transient volatile Set<Map.Entry<K, V>> entrySet;
    private transient volatile Collection<V> values;

    private static final int KEYS = 0;
    private static final int VALUES = 1;
    private static final int ENTRIES = 2;

    public Hashtable(int initialCapacity, float loadFactor) {
        if (initialCapacity < 0) {
            throw new IllegalArgumentException("Illegal Capacity: " + initialCapacity);
        }
        if (loadFactor <= 0 || loadFactor != loadFactor) {
            throw new IllegalArgumentException("Illegal Load: " + loadFactor);
        }
        if (initialCapacity == 0) {
            initialCapacity = 1;
        }
        this.loadFactor = loadFactor;
        table = new Entry<?, ?>[initialCapacity];
        threshold = (int) Math.min(initialCapacity * loadFactor, Integer.MAX_VALUE - 8 + 1);
    }

    public Hashtable(int initialCapacity) {
        this(initialCapacity, 0.75f);
    }

    public Hashtable() {
        this(11, 0.75f);
    }

    public Hashtable(Map<? extends K, ? extends V> t) {
        this(Math.max(2 * t.size(), 11), 0.75f);
        putAll(t);
    }

    public synchronized int size() {
        return count;
    }

    public synchronized boolean isEmpty() {
        return count == 0;
    }

    public synchronized Enumeration<K> keys() {
        if (count == 0) {
            return Collections.emptyEnumeration();
        }
        return new Enumerator<K>(KEYS, false);
    }

    public synchronized Enumeration<V> elements() {
        if (count == 0) {
            return Collections.emptyEnumeration();
        }
        return new Enumerator<V>(VALUES, false);
    }

    /** True when some key maps to value (value must not be null). */
    public synchronized boolean contains(Object value) {
        if (value == null) {
            throw new NullPointerException();
        }
        Entry<?, ?>[] tab = table;
        for (int i = tab.length; i-- > 0;) {
            for (Entry<?, ?> e = tab[i]; e != null; e = e.next) {
                if (e.value.equals(value)) {
                    return true;
                }
            }
        }
        return false;
    }

    public boolean containsValue(Object value) {
        return contains(value);
    }

    public synchronized boolean containsKey(Object key) {
        Entry<?, ?>[] tab = table;
        int hash = key.hashCode();
        int index = (hash & 0x7FFFFFFF) % tab.length;
        for (Entry<?, ?> e = tab[index]; e != null; e = e.next) {
            if ((e.hash == hash) && e.key.equals(key)) {
                return true;
            }
        }
        return false;
    }

    @SuppressWarnings("unchecked")
    public synchronized V get(Object key) {
        Entry<?, ?>[] tab = table;
        int hash = key.hashCode();
        int index = (hash & 0x7FFFFFFF) % tab.length;
        for (Entry<?, ?> e = tab[index]; e != null; e = e.next) {
            if ((e.hash == hash) && e.key.equals(key)) {
                return (V) e.value;
            }
        }
        return null;
    }

    /** Grows to 2n+1 and rehashes every entry. */
    @SuppressWarnings("unchecked")
    protected void rehash() {
        int oldCapacity = table.length;
        Entry<?, ?>[] oldMap = table;
        int newCapacity = (oldCapacity << 1) + 1;
        if (newCapacity - (Integer.MAX_VALUE - 8) > 0) {
            if (oldCapacity == Integer.MAX_VALUE - 8) {
                return;
            }
            newCapacity = Integer.MAX_VALUE - 8;
        }
        Entry<?, ?>[] newMap = new Entry<?, ?>[newCapacity];
        modCount++;
        threshold = (int) Math.min(newCapacity * loadFactor, Integer.MAX_VALUE - 8 + 1);
        table = newMap;
        for (int i = oldCapacity; i-- > 0;) {
            for (Entry<K, V> old = (Entry<K, V>) oldMap[i]; old != null;) {
                Entry<K, V> e = old;
                old = old.next;
                int index = (e.hash & 0x7FFFFFFF) % newCapacity;
                e.next = (Entry<K, V>) newMap[index];
                newMap[index] = e;
            }
        }
    }

    @SuppressWarnings("unchecked")
    private void addEntry(int hash, K key, V value, int index) {
        Entry<?, ?>[] tab = table;
        if (count >= threshold) {
            rehash();
            tab = table;
            hash = key.hashCode();
            index = (hash & 0x7FFFFFFF) % tab.length;
        }
        Entry<K, V> e = (Entry<K, V>) tab[index];
        tab[index] = new Entry<K, V>(hash, key, value, e);
        count++;
        modCount++;
    }

    public synchronized V put(K key, V value) {
        if (value == null) {
            throw new NullPointerException();
        }
        Entry<?, ?>[] tab = table;
        int hash = key.hashCode();
        int index = (hash & 0x7FFFFFFF) % tab.length;
        @SuppressWarnings("unchecked")
        Entry<K, V> entry = (Entry<K, V>) tab[index];
        for (; entry != null; entry = entry.next) {
            if ((entry.hash == hash) && entry.key.equals(key)) {
                V old = entry.value;
                entry.value = value;
                return old;
            }
        }
        addEntry(hash, key, value, index);
        return null;
    }

    public synchronized V remove(Object key) {
        Entry<?, ?>[] tab = table;
        int hash = key.hashCode();
        int index = (hash & 0x7FFFFFFF) % tab.length;
        @SuppressWarnings("unchecked")
        Entry<K, V> e = (Entry<K, V>) tab[index];
        for (Entry<K, V> prev = null; e != null; prev = e, e = e.next) {
            if ((e.hash == hash) && e.key.equals(key)) {
                if (prev != null) {
                    prev.next = e.next;
                } else {
                    tab[index] = e.next;
                }
                modCount++;
                count--;
                V oldValue = e.value;
                e.value = null;
                return oldValue;
            }
        }
        return null;
    }

    public synchronized void putAll(Map<? extends K, ? extends V> t) {
        for (Map.Entry<? extends K, ? extends V> e : t.entrySet()) {
            put(e.getKey(), e.getValue());
        }
    }

    public synchronized void clear() {
        Entry<?, ?>[] tab = table;
        for (int index = tab.length; --index >= 0;) {
            tab[index] = null;
        }
        modCount++;
        count = 0;
    }

    public synchronized V getOrDefault(Object key, V defaultValue) {
        V result = get(key);
        return (null == result) ? defaultValue : result;
    }

    public synchronized V putIfAbsent(K key, V value) {
        V old = get(key);
        if (old == null) {
            put(key, value);
        }
        return old;
    }

    @SuppressWarnings("unchecked")
    public synchronized Object clone() {
        try {
            Hashtable<K, V> t = (Hashtable<K, V>) super.clone();
            t.table = new Entry<?, ?>[table.length];
            for (int i = table.length; i-- > 0;) {
                t.table[i] = (table[i] != null) ? ((Entry<K, V>) table[i]).copyChain() : null;
            }
            t.keySet = null;
            t.entrySet = null;
            t.values = null;
            t.modCount = 0;
            return t;
        } catch (CloneNotSupportedException e) {
            throw new InternalError(e);
        }
    }

    /** "{k1=v1, k2=v2}" in enumeration order; the table itself prints as "(this Map)". */
    public synchronized String toString() {
        return AbstractMap.mapToString(this, new Enumerator<Map.Entry<K, V>>(ENTRIES, false));
    }

    public synchronized boolean equals(Object o) {
        return AbstractMap.mapEquals(this, o);
    }

    public synchronized int hashCode() {
        int h = 0;
        if (count == 0 || loadFactor < 0) {
            return h;
        }
        loadFactor = -loadFactor;       // marks "computing" against self-reference
        Entry<?, ?>[] tab = table;
        for (int i = 0; i < tab.length; i++) {
            for (Entry<?, ?> e = tab[i]; e != null; e = e.next) {
                h += e.hashCode();
            }
        }
        loadFactor = -loadFactor;
        return h;
    }

    // ---- views ----

    public Set<K> keySet() {
        if (keySet == null) {
            keySet = new KeySet();
        }
        return keySet;
    }

    public Set<Map.Entry<K, V>> entrySet() {
        if (entrySet == null) {
            entrySet = new EntrySet();
        }
        return entrySet;
    }

    public Collection<V> values() {
        if (values == null) {
            values = new ValueCollection();
        }
        return values;
    }

    private class KeySet extends AbstractSet<K> {
        public Iterator<K> iterator() {
            return new Enumerator<K>(KEYS, true);
        }

        public int size() {
            return count;
        }

        public boolean contains(Object o) {
            return containsKey(o);
        }

        public boolean remove(Object o) {
            synchronized (Hashtable.this) {
                boolean had = containsKey(o);
                Hashtable.this.remove(o);
                return had;
            }
        }

        public void clear() {
            Hashtable.this.clear();
        }
    }

    private class EntrySet extends AbstractSet<Map.Entry<K, V>> {
        public Iterator<Map.Entry<K, V>> iterator() {
            return new Enumerator<Map.Entry<K, V>>(ENTRIES, true);
        }

        public boolean contains(Object o) {
            if (!(o instanceof Map.Entry)) {
                return false;
            }
            Map.Entry<?, ?> entry = (Map.Entry<?, ?>) o;
            Object key = entry.getKey();
            synchronized (Hashtable.this) {
                Object v = get(key);
                return v != null && v.equals(entry.getValue());
            }
        }

        public boolean remove(Object o) {
            if (!contains(o)) {
                return false;
            }
            Hashtable.this.remove(((Map.Entry<?, ?>) o).getKey());
            return true;
        }

        public int size() {
            return count;
        }

        public void clear() {
            Hashtable.this.clear();
        }
    }

    private class ValueCollection extends AbstractCollection<V> {
        public Iterator<V> iterator() {
            return new Enumerator<V>(VALUES, true);
        }

        public int size() {
            return count;
        }

        public boolean contains(Object o) {
            return containsValue(o);
        }

        public void clear() {
            Hashtable.this.clear();
        }
    }

    /** A chain entry. */
    private static class Entry<K, V> implements Map.Entry<K, V> {
        final int hash;
        final K key;
        V value;
        Entry<K, V> next;

        Entry(int hash, K key, V value, Entry<K, V> next) {
            this.hash = hash;
            this.key = key;
            this.value = value;
            this.next = next;
        }

        Entry<K, V> copyChain() {
            return new Entry<K, V>(hash, key, value, next == null ? null : next.copyChain());
        }

        public K getKey() {
            return key;
        }

        public V getValue() {
            return value;
        }

        public V setValue(V value) {
            if (value == null) {
                throw new NullPointerException();
            }
            V oldValue = this.value;
            this.value = value;
            return oldValue;
        }

        public boolean equals(Object o) {
            if (!(o instanceof Map.Entry)) {
                return false;
            }
            Map.Entry<?, ?> e = (Map.Entry<?, ?>) o;
            return (key == null ? e.getKey() == null : key.equals(e.getKey()))
                && (value == null ? e.getValue() == null : value.equals(e.getValue()));
        }

        public int hashCode() {
            return hash ^ (value == null ? 0 : value.hashCode());
        }

        public String toString() {
            return key + "=" + value;
        }
    }

    /**
     * Enumerates from the highest bucket down; as an Iterator it fails fast
     * and supports remove.
     */
    private class Enumerator<T> implements Enumeration<T>, Iterator<T> {
        final Entry<?, ?>[] tab = Hashtable.this.table;
        int index = tab.length;
        Entry<?, ?> entry;
        Entry<?, ?> lastReturned;
        final int type;
        final boolean iterator;
        int expectedModCount = Hashtable.this.modCount;

        Enumerator(int type, boolean iterator) {
            this.type = type;
            this.iterator = iterator;
        }

        public boolean hasMoreElements() {
            Entry<?, ?> e = entry;
            int i = index;
            Entry<?, ?>[] t = tab;
            while (e == null && i > 0) {
                e = t[--i];
            }
            entry = e;
            index = i;
            return e != null;
        }

        @SuppressWarnings("unchecked")
        public T nextElement() {
            Entry<?, ?> et = entry;
            int i = index;
            Entry<?, ?>[] t = tab;
            while (et == null && i > 0) {
                et = t[--i];
            }
            entry = et;
            index = i;
            if (et != null) {
                Entry<?, ?> e = lastReturned = entry;
                entry = e.next;
                return type == KEYS ? (T) e.key : (type == VALUES ? (T) e.value : (T) e);
            }
            throw new NoSuchElementException("Hashtable Enumerator");
        }

        public boolean hasNext() {
            return hasMoreElements();
        }

        public T next() {
            if (Hashtable.this.modCount != expectedModCount) {
                throw new ConcurrentModificationException();
            }
            return nextElement();
        }

        public void remove() {
            if (!iterator) {
                throw new UnsupportedOperationException();
            }
            if (lastReturned == null) {
                throw new IllegalStateException("Hashtable Enumerator");
            }
            if (modCount != expectedModCount) {
                throw new ConcurrentModificationException();
            }
            synchronized (Hashtable.this) {
                Entry<?, ?>[] t = Hashtable.this.table;
                int idx = (lastReturned.hash & 0x7FFFFFFF) % t.length;
                @SuppressWarnings("unchecked")
                Entry<K, V> e = (Entry<K, V>) t[idx];
                for (Entry<K, V> prev = null; e != null; prev = e, e = e.next) {
                    if (e == lastReturned) {
                        if (prev == null) {
                            t[idx] = e.next;
                        } else {
                            prev.next = e.next;
                        }
                        expectedModCount++;
                        lastReturned = null;
                        Hashtable.this.modCount++;
                        Hashtable.this.count--;
                        return;
                    }
                }
                throw new ConcurrentModificationException();
            }
        }
    }
}
