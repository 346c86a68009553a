package java.util;

/**
 * HashMap whose iteration follows insertion order (or access order when
 * accessOrder is true: get and put of an existing key move it to the end).
 */
public class LinkedHashMap<K, V> extends HashMap<K, V> implements Map<K, V> {
    static class Entry<K, V> extends HashMap.Node<K, V> {
        Entry<K, V> before;
        Entry<K, V> after;

        Entry(int hash, K key, V value, Node<K, V> next) {
            super(hash, key, value, next);
        }
    }

    transient Entry<K, V> head;
    transient Entry<K, V> tail;
    final boolean accessOrder;

    public LinkedHashMap(int initialCapacity, float loadFactor) {
        super(initialCapacity, loadFactor);
        accessOrder = false;
    }

    public LinkedHashMap(int initialCapacity) {
        super(initialCapacity);
        accessOrder = false;
    }

    public LinkedHashMap() {
        super();
        accessOrder = false;
    }

    public LinkedHashMap(Map<? extends K, ? extends V> m) {
        super();
        accessOrder = false;
        putMapEntries(m, false);
    }

    public LinkedHashMap(int initialCapacity, float loadFactor, boolean accessOrder) {
        super(initialCapacity, loadFactor);
        this.accessOrder = accessOrder;
    }

    Node<K, V> newNode(int hash, K key, V value, Node<K, V> e) {
        Entry<K, V> p = new Entry<K, V>(hash, key, value, e);
        Entry<K, V> last = tail;
        tail = p;
        if (last == null) {
            head = p;
        } else {
            p.before = last;
            last.after = p;
        }
        return p;
    }

    void reinitialize() {
        super.reinitialize();
        head = tail = null;
    }

    void afterNodeRemoval(Node<K, V> e) {
        Entry<K, V> p = (Entry<K, V>) e;
        Entry<K, V> b = p.before;
        Entry<K, V> a = p.after;
        p.before = p.after = null;
        if (b == null) {
            head = a;
        } else {
            b.after = a;
        }
        if (a == null) {
            tail = b;
        } else {
            a.before = b;
        }
    }

    void afterNodeInsertion(boolean evict) {
        Entry<K, V> first = head;
        if (evict && first != null && removeEldestEntry(first)) {
            K key = first.key;
            removeNode(hash(key), key, null, false);
        }
    }

    void afterNodeAccess(Node<K, V> e) {
        Entry<K, V> last = tail;
        if (accessOrder && last != e) {
            Entry<K, V> p = (Entry<K, V>) e;
            Entry<K, V> b = p.before;
            Entry<K, V> a = p.after;
            p.after = null;
            if (b == null) {
                head = a;
            } else {
                b.after = a;
            }
            if (a != null) {
                a.before = b;
            } else {
                last = b;
            }
            if (last == null) {
                head = p;
            } else {
                p.before = last;
                last.after = p;
            }
            tail = p;
            ++modCount;
        }
    }

    protected boolean removeEldestEntry(Map.Entry<K, V> eldest) {
        return false;
    }

    public boolean containsValue(Object value) {
        for (Entry<K, V> e = head; e != null; e = e.after) {
            V v = e.value;
            if (v == value || (value != null && value.equals(v))) {
                return true;
            }
        }
        return false;
    }

    public V get(Object key) {
        Node<K, V> e = getNode(key);
        if (e == null) {
            return null;
        }
        if (accessOrder) {
            afterNodeAccess(e);
        }
        return e.value;
    }

    public V getOrDefault(Object key, V defaultValue) {
        Node<K, V> e = getNode(key);
        if (e == null) {
            return defaultValue;
        }
        if (accessOrder) {
            afterNodeAccess(e);
        }
        return e.value;
    }

    public void clear() {
        super.clear();
        head = tail = null;
    }

    public Set<K> keySet() {
        Set<K> ks = keySet;
        if (ks == null) {
            ks = new AbstractSet<K>() {
                public int size() {
                    return size;
                }

                public void clear() {
                    LinkedHashMap.this.clear();
                }

                public Iterator<K> iterator() {
                    return new LinkedIterator<K>(0);
                }

                public boolean contains(Object o) {
                    return containsKey(o);
                }

                public boolean remove(Object key) {
                    return removeNode(hash(key), key, null, false) != null;
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
                public int size() {
                    return size;
                }

                public void clear() {
                    LinkedHashMap.this.clear();
                }

                public Iterator<V> iterator() {
                    return new LinkedIterator<V>(1);
                }

                public boolean contains(Object o) {
                    return containsValue(o);
                }
            };
            values = vs;
        }
        return vs;
    }

    public Set<Map.Entry<K, V>> entrySet() {
        Set<Map.Entry<K, V>> es = entrySet;
        if (es == null) {
            es = new AbstractSet<Map.Entry<K, V>>() {
                public int size() {
                    return size;
                }

                public void clear() {
                    LinkedHashMap.this.clear();
                }

                public Iterator<Map.Entry<K, V>> iterator() {
                    return new LinkedIterator<Map.Entry<K, V>>(2);
                }

                public boolean contains(Object o) {
                    if (!(o instanceof Map.Entry)) {
                        return false;
                    }
                    Map.Entry<?, ?> e = (Map.Entry<?, ?>) o;
                    Node<K, V> candidate = getNode(e.getKey());
                    return candidate != null && candidate.equals(e);
                }

                public boolean remove(Object o) {
                    if (o instanceof Map.Entry) {
                        Map.Entry<?, ?> e = (Map.Entry<?, ?>) o;
                        Object key = e.getKey();
                        return removeNode(hash(key), key, e.getValue(), true) != null;
                    }
                    return false;
                }
            };
            entrySet = es;
        }
        return es;
    }

    /** Follows the before/after links; kind 0 keys, 1 values, 2 entries. */
    final class LinkedIterator<T> implements Iterator<T> {
        private final int kind;
        Entry<K, V> next;
        Entry<K, V> current;
        int expectedModCount;

        LinkedIterator(int kind) {
            this.kind = kind;
            next = head;
            expectedModCount = modCount;
        }

        public boolean hasNext() {
            return next != null;
        }

        @SuppressWarnings("unchecked")
        public T next() {
            Entry<K, V> e = next;
            if (modCount != expectedModCount) {
                throw new ConcurrentModificationException();
            }
            if (e == null) {
                throw new NoSuchElementException();
            }
            current = e;
            next = e.after;
            return (T) (kind == 0 ? e.key : kind == 1 ? e.value : e);
        }

        public void remove() {
            Node<K, V> p = current;
            if (p == null) {
                throw new IllegalStateException();
            }
            if (modCount != expectedModCount) {
                throw new ConcurrentModificationException();
            }
            current = null;
            removeNode(p.hash, p.key, null, false);
            expectedModCount = modCount;
        }
    }
}
