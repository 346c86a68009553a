package java.util;

/** Map operations built on entrySet(). */
public abstract class AbstractMap<K, V> implements Map<K, V> {
    transient Set<K> keySet;
    transient Collection<V> values;

    protected AbstractMap() {}

    public abstract Set<Map.Entry<K, V>> entrySet();

    public int size() {
        return entrySet().size();
    }

    public boolean isEmpty() {
        return size() == 0;
    }

    public boolean containsValue(Object value) {
        for (Map.Entry<K, V> e : entrySet()) {
            if (value == null ? e.getValue() == null : value.equals(e.getValue())) {
                return true;
            }
        }
        return false;
    }

    public boolean containsKey(Object key) {
        for (Map.Entry<K, V> e : entrySet()) {
            if (key == null ? e.getKey() == null : key.equals(e.getKey())) {
                return true;
            }
        }
        return false;
    }

    public V get(Object key) {
        for (Map.Entry<K, V> e : entrySet()) {
            if (key == null ? e.getKey() == null : key.equals(e.getKey())) {
                return e.getValue();
            }
        }
        return null;
    }

    public V put(K key, V value) {
        throw new UnsupportedOperationException();
    }

    public V remove(Object key) {
        Iterator<Map.Entry<K, V>> i = entrySet().iterator();
        while (i.hasNext()) {
            Map.Entry<K, V> e = i.next();
            if (key == null ? e.getKey() == null : key.equals(e.getKey())) {
                V old = e.getValue();
                i.remove();
                return old;
            }
        }
        return null;
    }

    public void putAll(Map<? extends K, ? extends V> m) {
        for (Map.Entry<? extends K, ? extends V> e : m.entrySet()) {
            put(e.getKey(), e.getValue());
        }
    }

    public void clear() {
        entrySet().clear();
    }

    public V getOrDefault(Object key, V defaultValue) {
        V v = get(key);
        return (v != null || containsKey(key)) ? v : defaultValue;
    }

    public V putIfAbsent(K key, V value) {
        V v = get(key);
        if (v == null) {
            v = put(key, value);
        }
        return v;
    }

    public Set<K> keySet() {
        Set<K> ks = keySet;
        if (ks == null) {
            ks = new AbstractSet<K>() {
                public Iterator<K> iterator() {
                    final Iterator<Map.Entry<K, V>> i = entrySet().iterator();
                    return new Iterator<K>() {
                        public boolean hasNext() {
                            return i.hasNext();
                        }

                        public K next() {
                            return i.next().getKey();
                        }

                        public void remove() {
                            i.remove();
                        }
                    };
                }

                public int size() {
                    return AbstractMap.this.size();
                }

                public boolean contains(Object k) {
                    return AbstractMap.this.containsKey(k);
                }

                public void clear() {
                    AbstractMap.this.clear();
                }
            };
            keySet = ks;
        }
        return ks;
    }

    public Collection<V> values() {
        Collection<V> vals = values;
        if (vals == null) {
            vals = new AbstractCollection<V>() {
                public Iterator<V> iterator() {
                    final Iterator<Map.Entry<K, V>> i = entrySet().iterator();
                    return new Iterator<V>() {
                        public boolean hasNext() {
                            return i.hasNext();
                        }

                        public V next() {
                            return i.next().getValue();
                        }

                        public void remove() {
                            i.remove();
                        }
                    };
                }

                public int size() {
                    return AbstractMap.this.size();
                }

                public boolean contains(Object v) {
                    return AbstractMap.this.containsValue(v);
                }

                public void clear() {
                    AbstractMap.this.clear();
                }
            };
            values = vals;
        }
        return vals;
    }

    public boolean equals(Object o) {
        return mapEquals(this, o);
    }

    static boolean mapEquals(Map<?, ?> m, Object o) {
        if (o == m) {
            return true;
        }
        if (!(o instanceof Map)) {
            return false;
        }
        Map<?, ?> other = (Map<?, ?>) o;
        if (other.size() != m.size()) {
            return false;
        }
        try {
            for (Map.Entry<?, ?> e : m.entrySet()) {
                Object key = e.getKey();
                Object value = e.getValue();
                if (value == null) {
                    if (!(other.get(key) == null && other.containsKey(key))) {
                        return false;
                    }
                } else if (!value.equals(other.get(key))) {
                    return false;
                }
            }
        } catch (ClassCastException unused) {
            return false;
        } catch (NullPointerException unused) {
            return false;
        }
        return true;
    }

    public int hashCode() {
        int h = 0;
        for (Map.Entry<K, V> e : entrySet()) {
            h += e.hashCode();
        }
        return h;
    }

    /** "{k1=v1, k2=v2}"; the map itself prints as "(this Map)". */
    public String toString() {
        return mapToString(this, entrySet().iterator());
    }

    static String mapToString(Object self, Iterator<? extends Map.Entry<?, ?>> i) {
        if (!i.hasNext()) {
            return "{}";
        }
        StringBuilder sb = new StringBuilder();
        sb.append('{');
        for (;;) {
            Map.Entry<?, ?> e = i.next();
            Object key = e.getKey();
            Object value = e.getValue();
            sb.append(key == self ? "(this Map)" : key);
            sb.append('=');
            sb.append(value == self ? "(this Map)" : value);
            if (!i.hasNext()) {
                return sb.append('}').toString();
            }
            sb.append(',').append(' ');
        }
    }

    static boolean eq(Object o1, Object o2) {
        return o1 == null ? o2 == null : o1.equals(o2);
    }

    /** A free-standing mutable entry. */
    public static class SimpleEntry<K, V> implements Map.Entry<K, V>, java.io.Serializable {
        private final K key;
        private V value;

        public SimpleEntry(K key, V value) {
            this.key = key;
            this.value = value;
        }

        public SimpleEntry(Map.Entry<? extends K, ? extends V> entry) {
            this.key = entry.getKey();
            this.value = entry.getValue();
        }

        public K getKey() {
            return key;
        }

        public V getValue() {
            return value;
        }

        public V setValue(V value) {
            V old = this.value;
            this.value = value;
            return old;
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
}
